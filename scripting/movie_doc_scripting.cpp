#include "scripting/movie_doc_scripting.h"

#include "core/matrix_array_additions.h"
#include "document/media_attributes.h"
#include "document/movie_additions.h"
#include "document/movie_document.h"
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/av_controls.h"
#include "inspectors/movie_info.h"
#include "inspectors/property_inspector_browser.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/notification_queue.h"
#include "platform/basekit/scripting_coercion.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/startup_settings.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"
#include "player/window/window_controller.h"
#include "scripting/model_annotation.h"
#include "scripting/model_frame.h"
#include "scripting/panorama_scripting.h"
#include "scripting/script_values.h"
#include "scripting/scripting_models.h"
#include "scripting/text_frame.h"
#include "scripting/track_samples.h"
#include "scripting/track_scripting.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace MVPMovieDocScripting {

using Doc = MVPMovieDocument;
using V = HXScriptValue;
using namespace MVPScriptValues;

namespace {

const HXScriptCoercionHandler& coercion()
{
    return HXScriptCoercionHandler::sharedCoercionHandler();
}

int64_t integerOf(const V& v)
{
    return v.propertyList().integerValue();
}

double realOf(const V& v)
{
    return v.propertyList().realValue();
}

bool boolOf(const V& v)
{
    return v.propertyList().boolValue();
}

// Each user-data item of `type` removed, then one item per value of `items` added.
void replaceUserData(MVMovie& movie, uint32_t type, const std::vector<MVBytes>& items)
{
    while (MVUserDataRemoveItem(movie.userData(), type, 1)) { }
    for (const auto& bytes : items)
        MVUserDataAddItem(movie.userData(), type, bytes);
}

// The document's full-screen setting under `key`: the presentation's while presenting, else the one
// stored with the movie.
HXPropertyList presentationSetting(Doc& doc, const std::string& key)
{
    if (doc.isFullScreen())
        if (auto fs = doc.fsPresentationWindowController())
            return fs->presentationSettingForKey(key);
    return doc.persistentFullscreenSettingForKey(key);
}

std::optional<HXColor> presentationColor(Doc& doc)
{
    if (doc.isFullScreen())
        if (auto fs = doc.fsPresentationWindowController(); fs && fs->presentationSettings().color)
            return fs->presentationSettings().color;
    return doc.persistentFullscreenSettings().color;
}

// Scripts show and hide the shared audio/video panel the way its menu command does.
bool avControlsVisible()
{
    return AVControls::hasAVControls() && AVControls::avControls()->isVisible();
}

void setAVControlsVisible(bool visible)
{
    if (visible && !avControlsVisible())
        AVControls::avControls()->toggleAVControlsVisibility();
    else if (!visible && avControlsVisible())
        AVControls::avControls()->hideAVControls();
}

MVPWindowController* currentPlayerController(Doc& doc)
{
    return dynamic_cast<MVPWindowController*>(doc.currentWindowController().get());
}

// The movie's user-data text items of `type` as strings: UTF-8 when the bytes are UTF-8 (what scripts
// write), else the classic 8-bit encoding of older files.
std::vector<std::string> userDataStrings(const MVMovie& movie, uint32_t type)
{
    std::vector<std::string> strings;
    int n = MVUserDataCountItems(movie.userData(), type);
    for (int i = 1; i <= n; ++i) {
        auto bytes = MVUserDataGetItem(movie.userData(), type, i);
        if (!bytes)
            continue;
        std::string_view raw(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (auto utf8 = HXString::stringWithBytes(raw, HXStringEncoding::UTF8))
            strings.push_back(*utf8);
        else
            strings.push_back(HXString::stringWithBytes(raw, HXStringEncoding::HalvernRoman).value_or(""));
    }
    return strings;
}

std::shared_ptr<Doc> sharedDocument(Doc& d)
{
    return std::static_pointer_cast<Doc>(d.shared_from_this());
}

// The codes of the aperture modes, in the order of their numbers.
const std::array<uint32_t, 4>& apertureCodes()
{
    static const std::array<uint32_t, 4> codes { fourCC("clas"), fourCC("clea"), fourCC("prod"),
        fourCC("enco") };
    return codes;
}

// A number for a movie that stays the movie's for the life of the process.
int64_t objectToken(const MVMovie& movie)
{
    static std::vector<std::pair<std::weak_ptr<const MVMovie>, int64_t>> tokens;
    static int64_t next = 1;
    std::erase_if(tokens, [](const auto& e) { return e.first.expired(); });
    for (const auto& [weak, token] : tokens)
        if (weak.lock().get() == &movie)
            return token;
    tokens.emplace_back(movie.weak_from_this(), next);
    return next++;
}

void addProperties(HXScriptClass<Doc>& c);
void addPlaybackProperties(HXScriptClass<Doc>& c);
void addPictureAndPresentationProperties(HXScriptClass<Doc>& c);
void addStateProperties(HXScriptClass<Doc>& c);
void addElements(HXScriptClass<Doc>& c);

// A setter that changes the movie and marks it changed.
template<class F> auto changing(F f)
{
    return [f](Doc& d, const V& v, HXScriptCommand& command) {
        if (!d.movie())
            return;
        f(d, *d.movie(), v, command);
        if (!command.failed())
            movieChanged(d);
    };
}
// A setter of the movie's own state that leaves the movie unchanged.
template<class F> auto onMovie(F f)
{
    return [f](Doc& d, const V& v, HXScriptCommand&) {
        if (d.movie())
            f(*d.movie(), v);
    };
}
template<class F> auto reading(F f, V fallback = V())
{
    return [f, fallback](Doc& d) -> V { return d.movie() ? V(f(d, *d.movie())) : fallback; };
}

void addProperties(HXScriptClass<Doc>& c)
{
    c.get("id", [](Doc& d) { return V(int64_t(d.movieID())); });
    c.get("uniqueID", [](Doc& d) { return V(int64_t(d.uniqueID())); });
    c.get("objectToken", reading([](Doc&, MVMovie& m) { return V(objectToken(m)); }));
    c.get("name", [](Doc& d) { return V(d.displayName()); });
    c.get("index", [](Doc& d) {
        const auto docs = HXDocumentController::sharedDocumentController()->documents();
        auto it = std::find_if(docs.begin(), docs.end(), [&](const auto& e) { return e.get() == &d; });
        return V(int64_t(docs.size()) - int64_t(it - docs.begin()));
    });
    c.get("modified", reading([](Doc&, MVMovie& m) { return V(m.hasChanged()); }));
    auto savable = reading([](Doc&, MVMovie& m) {
        auto item = MVUserDataGetItem(m.userData(), fourCC("nsav"), 1);
        return V(!(item && item->size() >= 4 && (*item)[3] != 0));
    });
    auto setSavable = changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) {
        replaceUserData(m, fourCC("nsav"), { MVBytes { 0, 0, 0, uint8_t(boolOf(v) ? 0 : 1) } });
    });
    c.getSet("savable", savable, "boolean", setSavable);
    c.getSet("saveable", savable, "boolean", setSavable);
    c.get("originalFile", reading([](Doc&, MVMovie& m) -> V {
        const auto& ref = m.initialDataReference();
        if (ref.dataReferenceType() != fourCC("alis"))
            return V();
        return V(ref.referenceFilePath());
    }));
    c.getSet("href", reading([](Doc&, MVMovie& m) { return V(m.attributeForKey("href").stringValue()); }),
        "string", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) {
            m.setAttributeForKey(v.propertyList(), "href");
        }));

    // Times, in the movie's units.
    c.getSet("currentTime", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.currentTime())); }),
        "integer", onMovie([](MVMovie& m, const V& v) { m.setCurrentTime(timeFromValue(m, integerOf(v))); }));
    c.get("duration", reading([](Doc&, MVMovie& m) { return V(m.durationValue()); }));
    c.get("timeScale", reading([](Doc&, MVMovie& m) { return V(int64_t(m.timeScale())); }));
    c.getSet("selectionStart", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.selection().time)); }),
        "integer", onMovie([](MVMovie& m, const V& v) {
            m.setSelection(MVMakeTimeRange(timeFromValue(m, integerOf(v)), m.selection().duration));
        }));
    c.getSet("selectionDuration",
        reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.selection().duration)); }), "integer",
        onMovie([](MVMovie& m, const V& v) {
            m.setSelection(MVMakeTimeRange(m.selection().time, timeFromValue(m, integerOf(v))));
        }));
    c.getSet("selectionEnd",
        reading([](Doc&, MVMovie& m) { return V(timeValue(m, MVTimeRangeEnd(m.selection()))); }), "integer",
        onMovie([](MVMovie& m, const V& v) {
            int64_t start = timeValue(m, m.selection().time);
            m.setSelection(
                MVMakeTimeRange(m.selection().time, timeFromValue(m, timeDifference(integerOf(v), start))));
        }));
    c.getSet("posterFrameTime", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.posterTime())); }),
        "integer", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) {
            m.setPosterTime(timeFromValue(m, integerOf(v)));
        }));
    c.get("maxTimeLoaded", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.maxTimeLoaded())); }));
    c.getSet("preview", reading([](Doc&, MVMovie& m) {
        auto r = m.previewRange();
        return V(HXScriptValue::List { V(timeValue(m, r.time)), V(timeValue(m, MVTimeRangeEnd(r))) });
    }),
        "list", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand& command) {
            auto start = v.list().size() == 2 ? coercion().coerce(v.list()[0], "integer") : std::nullopt;
            auto end = v.list().size() == 2 ? coercion().coerce(v.list()[1], "integer") : std::nullopt;
            if (!start || !end) {
                command.fail(HXScriptCoercionError, "The preview is a list of two times.");
                return;
            }
            m.setPreviewRange(MVMakeTimeRange(timeFromValue(m, integerOf(*start)),
                timeFromValue(m, timeDifference(integerOf(*end), integerOf(*start)))));
        }));
}

void addPlaybackProperties(HXScriptClass<Doc>& c)
{
    c.getSet("rate", reading([](Doc&, MVMovie& m) { return V(double(m.rate())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setRate(float(realOf(v))); }));
    c.getSet("preferredRate", reading([](Doc&, MVMovie& m) { return V(double(m.preferredRate())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setPreferredRate(float(realOf(v))); }));
    c.get("playing", reading([](Doc&, MVMovie& m) { return V(m.rate() != 0); }));
    c.get("done", reading([](Doc&, MVMovie& m) {
        MVTime end = m.playsSelectionOnly() && !MVTimeRangeIsEmpty(m.selection())
            ? MVTimeRangeEnd(m.selection())
            : m.duration();
        return V(!m.isPlaying() && MVTimeCompare(m.currentTime(), end) >= 0);
    }));
    c.getSet("looping",
        reading([](Doc&, MVMovie& m) { return V(m.loopingMode() != MVMovieLoopingMode::None); }), "boolean",
        onMovie([](MVMovie& m, const V& v) {
            if (boolOf(v) != (m.loopingMode() != MVMovieLoopingMode::None))
                m.setLoopingMode(boolOf(v) ? MVMovieLoopingMode::Loop : MVMovieLoopingMode::None);
        }));
    c.getSet("palindrome",
        reading([](Doc&, MVMovie& m) { return V(m.loopingMode() == MVMovieLoopingMode::BackAndForth); }),
        "boolean", onMovie([](MVMovie& m, const V& v) {
            if (boolOf(v))
                m.setLoopingMode(MVMovieLoopingMode::BackAndForth);
            else if (m.loopingMode() == MVMovieLoopingMode::BackAndForth)
                m.setLoopingMode(MVMovieLoopingMode::Loop);
        }));
    c.getSet("playSelectionOnly", reading([](Doc&, MVMovie& m) { return V(m.playsSelectionOnly()); }),
        "boolean", onMovie([](MVMovie& m, const V& v) { m.setPlaysSelectionOnly(boolOf(v)); }));
    c.getSet("playAllFrames", reading([](Doc&, MVMovie& m) { return V(m.playsAllFrames()); }), "boolean",
        onMovie([](MVMovie& m, const V& v) { m.setPlaysAllFrames(boolOf(v)); }));
    c.getSet("autoPlay", reading([](Doc&, MVMovie& m) {
        auto item = MVUserDataGetItem(m.userData(), fourCC("play"), 1);
        return V(item && !item->empty() && (*item)[0] != 0);
    }),
        "boolean", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) {
            replaceUserData(m, fourCC("play"), { MVBytes { uint8_t(boolOf(v) ? 1 : 0) } });
        }));
    c.getSet(
        "autoCloseWhenDone", [](Doc& d) { return V(d.closeWhenDone()); }, "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setCloseWhenDone(boolOf(v));
            movieChanged(d);
        });
    c.getSet(
        "autoQuitWhenDone", [](Doc& d) { return V(d.quitWhenDone()); }, "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setQuitWhenDone(boolOf(v));
            movieChanged(d);
        });
    c.getSet("muted", reading([](Doc&, MVMovie& m) { return V(m.isMuted()); }), "boolean",
        onMovie([](MVMovie& m, const V& v) { m.setMuted(boolOf(v)); }));
    // Sound levels as the classic fixed-point numbers, held to their ranges.
    c.getSet("soundVolume",
        reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.volume() * 256))); }), "integer",
        onMovie([](MVMovie& m, const V& v) {
            m.setVolume(float(std::clamp<int64_t>(integerOf(v), -256, 256)) / 256);
        }));
    c.getSet("soundBalance",
        reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.balance() * 128))); }), "integer",
        onMovie([](MVMovie& m, const V& v) {
            m.setBalance(float(std::clamp<int64_t>(integerOf(v), -128, 128)) / 128);
        }));
    c.getSet("bassGain",
        reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.bass() * 256 * 0.125))); }),
        "integer", onMovie([](MVMovie& m, const V& v) {
            m.setBass(float(double(std::clamp<int64_t>(integerOf(v), -256, 256)) / 256 * 8));
        }));
    c.getSet("trebleGain",
        reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.treble() * 256 * 0.125))); }),
        "integer", onMovie([](MVMovie& m, const V& v) {
            m.setTreble(float(double(std::clamp<int64_t>(integerOf(v), -256, 256)) / 256 * 8));
        }));
}

void addPictureAndPresentationProperties(HXScriptClass<Doc>& c)
{
    c.getSet("videoBrightnessAdjustment",
        reading([](Doc&, MVMovie& m) { return V(double(m.visualBrightness())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualBrightness(float(realOf(v))); }));
    c.getSet("videoColorAdjustment",
        reading([](Doc&, MVMovie& m) { return V(double(m.visualSaturation())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualSaturation(float(realOf(v))); }));
    c.getSet("videoTintAdjustment", reading([](Doc&, MVMovie& m) { return V(double(m.visualHue())); }),
        "real", onMovie([](MVMovie& m, const V& v) { m.setVisualHue(float(realOf(v))); }));
    // The movie's contrast is a factor (1 when neutral); a script's is the change from it (0 when neutral).
    c.getSet("videoContrastAdjustment",
        reading([](Doc&, MVMovie& m) { return V(double(m.visualContrast()) - 1.0); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualContrast(float(1.0 + realOf(v))); }));

    c.getSet(
        "dimensions",
        [](Doc& d) {
            // The user size comes back from a scale (81 / 161 × 161): rounded, not cut to 80.
            HXSize size = d.userSize();
            return sizeValue(std::round(size.height), std::round(size.width));
        },
        "any",
        [](Doc& d, const V& v, HXScriptCommand& command) {
            auto p = pointFromValue(v);
            if (!p) {
                command.fail(HXScriptCoercionError, "The dimensions are a size record.");
                return;
            }
            double width = p->second, height = p->first;
            HXSize natural = d.naturalSize();
            // A movie without a picture has no natural size to scale: there is nothing to size.
            if (natural.width <= 0 || natural.height <= 0 || width <= 0 || height <= 0)
                return;
            if (auto* controller = currentPlayerController(d))
                controller->setScale({ width / natural.width, height / natural.height }, false);
            d.setUserSize({ width, height });
        });
    c.get(
        "naturalDimensions", [](Doc& d) { return sizeValue(d.naturalSize().height, d.naturalSize().width); });
    c.getSet(
        "scale",
        [](Doc& d) {
            ScaleInputs in;
            // The size the user set the movie to, as the dimensions answer it.
            HXSize size = d.userSize();
            in.width = size.width, in.height = size.height;
            in.naturalWidth = d.naturalSize().width, in.naturalHeight = d.naturalSize().height;
            if (d.isFullScreen()) {
                in.fullScreenSize
                    = presentationSizeCode(presentationSetting(d, FullscreenPreferenceSize).integerValue());
            } else if (auto controller = d.currentWindowController()) {
                if (auto window = controller->window(); window && window->screen())
                    in.visibleFrameSize = std::pair { window->screen()->visibleFrame().size.width,
                        window->screen()->visibleFrame().size.height };
            }
            return codeValue(scaleCode(in));
        },
        "code",
        [](Doc& d, const V& v, HXScriptCommand&) {
            auto* controller = currentPlayerController(d);
            if (!controller)
                return;
            switch (uint32_t(integerOf(v))) {
            case 0x66697473: // 'fits'
                controller->fitToScreen(nullptr);
                break;
            case 0x68616C66: // 'half'
                controller->halfSize(nullptr);
                break;
            case 0x6E6F726D: // 'norm'
                controller->normalSize(nullptr);
                break;
            case 0x646F7562: // 'doub'
                controller->doubleSize(nullptr);
                break;
            default:
                break;
            }
        });
    c.getSet("currentMatrix", reading([](Doc&, MVMovie& m) {
        auto rows = HXArray_Additions::arrayForMatrixRecord(m.matrix());
        return V(HXPropertyList(std::move(rows)));
    }),
        "any", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand& command) {
            auto values = matrixFromValue(v);
            if (!values) {
                command.fail(HXScriptCoercionError, "The matrix is three lists of three numbers.");
                return;
            }
            MVMatrixRecord record;
            record.values = *values;
            m.setMatrix(record);
        }));
    // Not conformed: 'uncn'; conformed: the aperture the pictures are shown in.
    c.getSet("aperture", reading([](Doc&, MVMovie& m) {
        return MVMovieConformed(m) ? codeValue(apertureCodes()[MVMoviePlayerApertureMode(m) % 4])
                                   : code("uncn");
    }),
        "code", [](Doc& d, const V& v, HXScriptCommand& command) {
            if (!d.movie())
                return;
            MVMovie& m = *d.movie();
            uint32_t wanted = uint32_t(integerOf(v));
            if (wanted == fourCC("uncn")) {
                if (MVMovieConformed(m))
                    MVMovieSetConformed(m, false);
            } else {
                const auto& codes = apertureCodes();
                auto it = std::find(codes.begin(), codes.end(), wanted);
                if (it == codes.end()) {
                    command.fail(
                        HXScriptParameterError, "The aperture is 'uncn', 'clas', 'clea', 'prod' or 'enco'.");
                    return;
                }
                if (!MVMovieConformed(m))
                    MVMovieSetConformed(m, true);
                MVMovieSetPlayerApertureMode(m, uint32_t(it - codes.begin()));
            }
            movieChanged(d);
        });
    c.getSet(
        "controllerType", [](Doc& d) { return codeValue(controllerTypeCode(d.movieControllerType())); },
        "code",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setMovieControllerType(controllerTypeForCode(uint32_t(integerOf(v))));
            movieChanged(d);
        });

    c.getSet(
        "presentationSize",
        [](Doc& d) {
            return codeValue(
                presentationSizeCode(presentationSetting(d, FullscreenPreferenceSize).integerValue()));
        },
        "code",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setPersistentFullscreenSetting(
                HXPropertyList(presentationSizeForCode(uint32_t(integerOf(v)))), FullscreenPreferenceSize);
        });
    c.getSet(
        "presentationMode",
        [](Doc& d) {
            return presentationSetting(d, FullscreenPreferenceSlideShowMode).boolValue() ? code("pmss")
                                                                                         : code("norm");
        },
        "code",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setPersistentFullscreenSetting(
                HXPropertyList(uint32_t(integerOf(v)) == fourCC("pmss")), FullscreenPreferenceSlideShowMode);
        });
    c.getSet(
        "presentationBackgroundColor",
        [](Doc& d) {
            return colorValue(presentationColor(d).value_or(HXColor::colorWithCalibratedRed(0, 0, 0)));
        },
        "any",
        [](Doc& d, const V& v, HXScriptCommand&) {
            auto settings = d.persistentFullscreenSettings();
            settings.color = colorFromValue(v);
            d.setPersistentFullscreenSettings(settings);
        });
    c.getSet(
        "autoPresent",
        [](Doc& d) {
            return V(d.persistentFullscreenSettingForKey(FullscreenPreferenceAutoPresent).boolValue());
        },
        "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setPersistentFullscreenSetting(HXPropertyList(boolOf(v)), FullscreenPreferenceAutoPresent);
        });
    c.get("displayState", [](Doc& d) {
        bool presenting = d.isFullScreen() && d.fsPresentationWindowController()
            && d.fsPresentationWindowController()->isFullscreen();
        return presenting ? code("prsf") : code("norm");
    });

    auto avVisible = [](Doc&) { return V(avControlsVisible()); };
    auto setAVVisible = [](Doc&, const V& v, HXScriptCommand&) { setAVControlsVisible(boolOf(v)); };
    c.getSet("showVideoControls", avVisible, "boolean", setAVVisible);
    c.getSet("showSoundControls", avVisible, "boolean", setAVVisible);
    c.getSet(
        "showMovieInfoWindow", [](Doc& d) { return V(d.movieInfo() && d.movieInfo()->isVisible()); },
        "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            auto info = d.movieInfo();
            if (!info)
                return;
            if (boolOf(v) && !info->isVisible())
                info->showHidePanel();
            else if (!boolOf(v) && info->isVisible())
                info->hidePanel();
        });
    c.getSet(
        "showDetailedMovieInfoWindow",
        [](Doc& d) {
            auto browser = d.moviePropertyBrowser();
            return V(browser && browser->window() && browser->window()->isVisible());
        },
        "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            if (boolOf(v))
                d.openMovieProperties(nullptr);
            else if (auto browser = d.moviePropertyBrowser())
                browser->close();
        });
}

void addStateProperties(HXScriptClass<Doc>& c)
{
    auto streaming = [](Doc& d) { return V(d.isStreaming()); };
    c.get("isStreaming", streaming);
    c.get("streaming", streaming);
    c.get("hasDuration", reading([](Doc&, MVMovie& m) { return V(m.hasDuration()); }));
    // A movie from a file plays locally; a movie file from the network is fetched progressively (fast
    // start); a stream is live or of a stored movie.
    auto movieType = [](Doc& d) { return d.movie() ? int(d.movie()->movieType()) : 0; };
    c.get("localPlayback", [movieType](Doc& d) { return V(movieType(d) == 1); });
    c.get("fastStart", [movieType](Doc& d) { return V(movieType(d) == 2); });
    c.get("liveStream", [movieType](Doc& d) { return V(movieType(d) == 3); });
    c.get("storedStream", [movieType](Doc& d) { return V(movieType(d) == 4); });
    c.get("loadState", reading([](Doc&, MVMovie& m) { return codeValue(loadStateCode(m.loadState())); }));
    c.get("dataRate",
        reading([](Doc&, MVMovie& m) { return V(int64_t(int32_t(MVPMovieAdditions::dataRate(m)))); }));
    c.get("dataSize", reading([](Doc&, MVMovie& m) { return V(m.dataSize()); }));
    c.getSet("movieLanguage", reading([](Doc&, MVMovie& m) {
        int64_t language = m.attributeForKey("MVMovieLanguageAttribute").integerValue();
        const auto& names = movieLanguages();
        return V(language >= 0 && language < int64_t(names.size()) ? names[size_t(language)]
                                                                   : std::string("SystemDefault"));
    }),
        "any", onMovie([](MVMovie& m, const V& v) {
            int64_t language = -1;
            if (v.isPropertyList() && v.propertyList().isString()) {
                const auto& names = movieLanguages();
                auto it = std::find(names.begin(), names.end(), v.propertyList().stringValue());
                if (it == names.end())
                    return;
                language = it - names.begin();
            } else if (auto n = coercion().coerce(v, "integer")) {
                language = integerOf(*n);
            } else {
                return;
            }
            m.setLanguage(language);
            m.setAttributeForKey(HXPropertyList(language), "MVMovieLanguageAttribute");
        }));
    // The chapter playing now; nothing before the first chapter or without chapters.
    c.get("currentChapter", reading([](Doc&, MVMovie& m) -> V {
        auto track = MVMovieChapterTrack(m);
        int64_t index = track ? MVPTrackSamples::timeToIndex(*track, timeValue(m, m.currentTime())) : 0;
        return index > 0 ? MVPTextFrameScripting::chapter(track, int32_t(index)) : V();
    }));
    c.get("currentChapterTrack", reading([](Doc&, MVMovie& m) {
        auto track = MVMovieChapterTrack(m);
        return track ? V(MVPTrackScripting::reference(track)) : V(HXScriptValue::List {});
    }));
    c.getSet("pluginSettings", reading([](Doc&, MVMovie& m) {
        HXScriptValue::List list;
        for (auto& s : userDataStrings(m, fourCC("plug")))
            list.emplace_back(s);
        return V(std::move(list));
    }),
        "list", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) {
            std::vector<MVBytes> items;
            for (const auto& e : v.list())
                if (auto s = coercion().coerce(e, "string")) {
                    std::string text = s->propertyList().stringValue();
                    items.emplace_back(text.begin(), text.end());
                }
            replaceUserData(m, fourCC("plug"), items);
        }));
    for (const char* key :
        { "colorTable", "chapterList", "preferredAudioGainTrack", "preferredAudioBalanceTrack", "recording" })
        c.getSet(
            key, [](Doc&) { return V(); }, "any", [](Doc&, const V&, HXScriptCommand&) {});
    addPanoramaProperties(c);
}

// ---- Tracks made by scripts

// `source` added to the movie in parallel, fitted to the selection: stretched over it when it has a
// length, from its start otherwise.
bool importMovie(MVMovie& movie, const std::shared_ptr<MVMovie>& source)
{
    if (!source || source.get() == &movie)
        return false;
    return movie.selection().duration.timeValue > 0 ? movie.addScaled(source) : movie.add(source);
}

// A copy of `track` (of this movie or another) added the same way.
bool importTrack(MVMovie& movie, const std::shared_ptr<MVTrack>& track)
{
    auto holder = MVMovie::movie();
    holder->setTimeScale(movie.timeScale());
    holder->insertTrack(track);
    return holder->trackCount() > 0 && importMovie(movie, holder);
}

// A text added to the movie: the movie file it names, in parallel from `time`, or else the text itself as
// lines of a text track (`track`, or a new one).
bool importString(MVMovie& movie, const std::string& text, int64_t time,
    const std::shared_ptr<MVTrack>& track, HXScriptCommand& command)
{
    std::string path = command.absolutePath(text);
    std::error_code ec;
    if (!track && !text.empty() && std::filesystem::is_regular_file(path, ec)) {
        HXError error;
        auto source = MVMovie::movieWithFile(path, &error);
        if (!source) {
            command.fail(
                error.code() ? int(error.code()) : int(HXScriptFailedError), error.localizedDescription());
            return false;
        }
        MVTimeRange selection = movie.selection();
        movie.setSelection(
            MVMakeTimeRange(MVMakeTime(time, movie.timeScale()), MVMakeTime(0, movie.timeScale())));
        bool added = movie.add(source);
        movie.setSelection(selection);
        return added;
    }
    return MVImportText(movie, text, track, time).durationAdded > 0;
}

// The tracks of `after` that `before` did not have.
std::vector<std::shared_ptr<MVTrack>> newTracks(
    const std::vector<std::shared_ptr<MVTrack>>& before, const MVMovie& movie)
{
    std::vector<std::shared_ptr<MVTrack>> made;
    for (const auto& t : movie.tracks())
        if (std::find(before.begin(), before.end(), t) == before.end())
            made.push_back(t);
    return made;
}

// Puts in what a script made a track of (a text, a list of texts, a movie, another track) and answers the
// track it became (a list when it became several).
V insertInTracks(Doc& d, const V& value, HXScriptCommand& command)
{
    if (!d.movie())
        return {};
    MVMovie& movie = *d.movie();
    V payload = value;
    if (value.isObject()
        && value.object().classDescription() == &MVPTrackScripting::madeTrackClassDescription())
        payload = value.object().as<MVPScriptMadeTrack>()->payload;
    const auto before = movie.tracks();
    bool added = false;
    if (payload.isObject() && payload.object().classDescription() == &MVPTrackScripting::classDescription()) {
        added = importTrack(movie, payload.object().as<MVTrack>());
    } else if (payload.isObject() && payload.object().classDescription() == &classDescription()) {
        added = importMovie(movie, payload.object().as<Doc>()->movie());
    } else if (auto items = payload.isList() ? std::optional(payload) : std::nullopt) {
        std::string text;
        bool first = true;
        for (const auto& item : items->list())
            if (item.isPropertyList() && item.propertyList().isString()) {
                text += (first ? "" : "\r") + item.propertyList().stringValue();
                first = false;
            }
        added = !first && MVImportText(movie, text, nullptr, 0).durationAdded > 0;
    } else if (payload.isPropertyList() && payload.propertyList().isString()) {
        added = importString(movie, payload.propertyList().stringValue(), 0, nullptr, command);
    } else {
        command.fail(
            HXScriptCoercionError, "A track is made from a text, a list of texts, a movie or a track.");
        return {};
    }
    if (command.failed())
        return {};
    if (!added) {
        command.fail(HXScriptFailedError, "Nothing could be made a track of that.");
        return {};
    }
    movieChanged(d);
    // What went into tracks the movie had already is no new track to answer.
    auto made = newTracks(before, movie);
    if (made.empty())
        return {};
    if (made.size() == 1)
        return V(MVPTrackScripting::reference(made.front()));
    HXScriptValue::List list;
    for (const auto& t : made)
        list.emplace_back(MVPTrackScripting::reference(t));
    return V(std::move(list));
}

void addElements(HXScriptClass<Doc>& c)
{
    c.elements("tracks", [](Doc& d) {
        HXScriptValue::List list;
        if (d.movie())
            for (const auto& t : d.movie()->tracks())
                list.emplace_back(MVPTrackScripting::reference(t));
        return list;
    });
    c.elementMake(
        "tracks", "track", [](Doc& d, const V& v, std::optional<int64_t>, HXScriptCommand& command) {
            return insertInTracks(d, v, command);
        });
    c.elementRemove("tracks", [](Doc& d, int64_t index, HXScriptCommand& command) {
        auto track = d.movie() ? d.movie()->trackAtIndex(int(index) + 1) : nullptr;
        if (!track) {
            command.fail(
                HXScriptNoSuchObjectError, "The movie has no track " + std::to_string(index + 1) + ".");
            return;
        }
        auto before = d.movie()->newEditState();
        d.movie()->removeTrack(track);
        d.movie()->registerEdit(std::move(before), "Delete Track");
    });
    c.elements("annotationElements",
        [](Doc& d) { return MVPAnnotationScripting::annotationsOf(reference(sharedDocument(d))); });
    c.elementMake("annotationElements", "annotation",
        [](Doc& d, const V& v, std::optional<int64_t>, HXScriptCommand& command) {
            return MVPAnnotationScripting::insertAnnotation(reference(sharedDocument(d)), v, command);
        });
    c.elementRemove("annotationElements", [](Doc& d, int64_t index, HXScriptCommand& command) {
        MVPAnnotationScripting::removeAnnotation(reference(sharedDocument(d)), index, command);
    });
    // The chapters are the chapter track's: listed, added and removed there.
    auto chapters = [] { return MVPTrackScripting::classDescription().element("chapters"); };
    c.elements("chapters", [chapters](Doc& d) {
        auto track = d.movie() ? MVMovieChapterTrack(*d.movie()) : nullptr;
        return track ? chapters()->list(track.get()) : HXScriptValue::List {};
    });
    c.elementMake("chapters", "chapter",
        [chapters](Doc& d, const V& v, std::optional<int64_t> index, HXScriptCommand& command) -> V {
            if (!d.movie())
                return {};
            if (auto track = MVMovieChapterTrack(*d.movie()))
                return chapters()->insert(track.get(), v, index, command);
            // A movie without chapters gets a chapter track, its first chapter starting with the movie.
            auto made = MVPModelFrameScripting::frameOfValue(v);
            const V& name = made ? made->payload() : v;
            if (!name.isPropertyList() || !name.propertyList().isString() || !d.movie()->hasDuration()) {
                command.fail(
                    HXScriptCoercionError, "A chapter is made from its name, in a movie that lasts.");
                return {};
            }
            HXError error;
            auto track = MVMovieSetChapters(*d.movie(),
                { { name.propertyList().stringValue(), MVMakeTime(0, d.movie()->timeScale()) } }, &error);
            if (!track) {
                command.fail(int(error.code()), error.localizedDescription());
                return {};
            }
            if (made) {
                made->finalizePayload(track, 1);
                return V(HXScriptReference(v.object().classDescription(), v.object().object()));
            }
            return MVPTextFrameScripting::chapter(track, 1);
        });
    c.elementRemove("chapters", [chapters](Doc& d, int64_t index, HXScriptCommand& command) {
        if (auto track = d.movie() ? MVMovieChapterTrack(*d.movie()) : nullptr)
            chapters()->remove(track.get(), index, command);
    });
    c.elements("files", [](Doc& d) {
        HXScriptValue::List list;
        if (d.movie())
            for (const auto& ref : d.movie()->dataReferences())
                if (ref.dataReferenceType() == fourCC("alis"))
                    list.emplace_back(ref.referenceFilePath());
        return list;
    });
    c.elements("internetLocations", [](Doc& d) {
        HXScriptValue::List list;
        if (d.movie())
            if (auto url = d.movie()->URL(); url && !url->isFileURL())
                list.emplace_back(MVPScriptingModels::internetLocation(*url, reference(sharedDocument(d))));
        return list;
    });
    c.elements("windows", [](Doc& d) {
        HXScriptValue::List list;
        if (auto window = d.movieWindow())
            list.emplace_back(MVPScriptingModels::windowClassDescription().reference(window));
        return list;
    });
}

} // namespace

const std::vector<std::string>& movieLanguages()
{
    static const std::vector<std::string> names = { "English", "French", "German", "Italian", "Dutch",
        "Swedish", "Spanish", "Danish", "Portuguese", "Norwegian", "Hebrew", "Japanese", "Arabic", "Finnish",
        "Greek", "Icelandic", "Maltese", "Turkish", "Croatian", "TraditionalChinese", "Urdu", "Hindi", "Thai",
        "Korean", "Lithuanian", "Polish", "Hungarian", "Estonian", "Latvian", "Saamisk", "Faroese", "Farsi",
        "Russian", "SimplifiedChinese", "Flemish", "Irish", "Albanian" };
    return names;
}

uint32_t loadStateCode(int64_t loadState)
{
    switch (loadState) {
    case MVMovieLoadStateError:
        return fourCC("lder");
    case MVMovieLoadStateLoading:
        return fourCC("ldng");
    case MVMovieLoadStateLoaded:
        return fourCC("lded");
    case MVMovieLoadStatePlayable:
        return fourCC("ldpl");
    case MVMovieLoadStatePlaythroughOK:
        return fourCC("ldpt");
    case MVMovieLoadStateComplete:
        return fourCC("ldcm");
    default:
        return fourCC("lduk");
    }
}

uint32_t presentationSizeCode(int64_t mode)
{
    switch (mode) {
    case FSPresentationModeDoubleSize:
        return fourCC("doub");
    case FSPresentationModeHalfSize:
        return fourCC("half");
    case FSPresentationModeDefault:
    case FSPresentationModeLetterbox:
    case FSPresentationModeCrop:
    case FSPresentationModeStretch:
    case FSPresentationModePanoramic:
        return fourCC("fits");
    case FSPresentationModeCurrentSize:
        return fourCC("cust");
    default:
        return fourCC("norm");
    }
}

int64_t presentationSizeForCode(uint32_t code)
{
    if (code == fourCC("norm"))
        return FSPresentationModeActualSize;
    if (code == fourCC("doub"))
        return FSPresentationModeDoubleSize;
    if (code == fourCC("half"))
        return FSPresentationModeHalfSize;
    if (code == fourCC("fits"))
        return FSPresentationModeDefault;
    return FSPresentationModeCurrentSize;
}

uint32_t controllerTypeCode(uint32_t controllerType)
{
    return controllerType == MVMovieControllerTypeStandard ? fourCC("stan") : controllerType;
}

uint32_t controllerTypeForCode(uint32_t code)
{
    return code == fourCC("stan") ? MVMovieControllerTypeStandard : code;
}

uint32_t scaleCode(const ScaleInputs& in)
{
    if (in.fullScreenSize && in.fullScreenSize != fourCC("cust"))
        return in.fullScreenSize;
    const double w = in.width, h = in.height, W = in.naturalWidth, H = in.naturalHeight;
    // A scaled size is shown in whole pixels: a 161-wide movie at half size is 81 wide.
    auto isScaled = [&](double scale) {
        return MVPMediaAttributes::isNaturalSizeAtScale(HXMakeSize(w, h), HXMakeSize(W, H), scale);
    };
    if (isScaled(1))
        return fourCC("norm");
    if (isScaled(0.5))
        return fourCC("half");
    if (isScaled(2))
        return fourCC("doub");
    if (in.fullScreenSize || !in.visibleFrameSize)
        return fourCC("cust");
    auto [VW, VH] = *in.visibleFrameSize;
    if (VW > w * 0.85 && w > VW * 0.85)
        return fourCC("fits");
    if (VH > h * 0.85 && h > VH * 0.85)
        return fourCC("fits");
    return fourCC("cust");
}

std::optional<std::array<int32_t, 9>> matrixFromValue(const HXScriptValue& value)
{
    auto rows = coercion().coerce(value, "list");
    if (!rows || rows->list().size() != 3)
        return std::nullopt;
    std::array<int32_t, 9> out {};
    for (size_t r = 0; r < 3; ++r) {
        auto row = rows->list()[r];
        if (!(row.isList() || (row.isPropertyList() && row.propertyList().isArray())))
            return std::nullopt;
        auto cells = coercion().coerce(row, "list");
        if (!cells || cells->list().size() != 3)
            return std::nullopt;
        for (size_t k = 0; k < 3; ++k) {
            auto n = coercion().coerce(cells->list()[k], "real");
            if (!n)
                return std::nullopt;
            double product = n->propertyList().realValue() * (k < 2 ? 65536.0 : 1073741824.0);
            // Out of range either way is held at the limit (a conversion beyond it would be undefined).
            if (product >= 2147483648.0)
                out[r * 3 + k] = 0x7FFFFFFF;
            else if (product < -2147483648.0)
                out[r * 3 + k] = INT32_MIN;
            else
                out[r * 3 + k] = int32_t(product);
        }
    }
    return out;
}

void movieChanged(MVPMovieDocument& document)
{
    document.movieChanged();
}

std::shared_ptr<MVPMovieDocument> documentForMovie(const MVMovie* movie)
{
    if (!movie)
        return nullptr;
    auto controller = HXDocumentController::sharedDocumentController();
    if (!controller)
        return nullptr;
    for (const auto& doc : controller->documents())
        if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc);
            movieDoc && movieDoc->movie().get() == movie)
            return movieDoc;
    return nullptr;
}

const HXScriptClass<MVPMovieDocument>& classDescription()
{
    static const HXScriptClass<Doc> cls = [] {
        HXScriptClass<Doc> c("movie");
        addProperties(c);
        addPlaybackProperties(c);
        addPictureAndPresentationProperties(c);
        addStateProperties(c);
        addElements(c);
        addCommands(c);
        // Keys of the movie's own attributes.
        c.undefinedKeys(
            [](Doc& d, const std::string& key) {
                return d.movie() && d.movie()->movieAttributes().count(key) > 0;
            },
            [](Doc& d, const std::string& key) { return V(d.movie()->attributeForKey(key)); },
            [](Doc& d, const V& v, const std::string& key) {
                if (!d.movie() || !d.movie()->movieAttributes().count(key) || !v.isPropertyList())
                    return false;
                d.movie()->setAttributeForKey(v.propertyList(), key);
                // Written through a script, the movie counts as changed like every other scripted edit.
                movieChanged(d);
                return true;
            });
        // A movie names itself by its unique identifier, which survives reordering and renaming.
        c.specifier([](Doc& d) -> std::optional<HXScriptObjectSpecifier> {
            return HXScriptObjectSpecifier::uniqueID(
                "orderedDocuments", HXPropertyList(int64_t(d.uniqueID())));
        });
        return c;
    }();
    return cls;
}

HXScriptReference reference(const std::shared_ptr<MVPMovieDocument>& document)
{
    return classDescription().reference(document);
}

} // namespace MVPMovieDocScripting
