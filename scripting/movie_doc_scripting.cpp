#include "scripting/movie_doc_scripting.h"

#include "core/matrix_array_additions.h"
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
#include "platform/mvkit/movie.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"
#include "player/window/window_controller.h"
#include "scripting/panorama_scripting.h"
#include "scripting/script_values.h"
#include "scripting/scripting_models.h"

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
    c.getSet("href", reading([](Doc&, MVMovie& m) { return V(m.attributeForKey("href").stringValue()); }), "string",
        changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) { m.setAttributeForKey(v.propertyList(), "href"); }));

    // Times, in the movie's units.
    c.getSet("currentTime", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.currentTime())); }), "integer",
        onMovie([](MVMovie& m, const V& v) { m.setCurrentTime(timeFromValue(m, integerOf(v))); }));
    c.get("duration", reading([](Doc&, MVMovie& m) { return V(m.durationValue()); }));
    c.get("timeScale", reading([](Doc&, MVMovie& m) { return V(int64_t(m.timeScale())); }));
    c.getSet("selectionStart", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.selection().time)); }), "integer",
        onMovie([](MVMovie& m, const V& v) {
            m.setSelection(MVMakeTimeRange(timeFromValue(m, integerOf(v)), m.selection().duration));
        }));
    c.getSet("selectionDuration", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.selection().duration)); }),
        "integer", onMovie([](MVMovie& m, const V& v) {
            m.setSelection(MVMakeTimeRange(m.selection().time, timeFromValue(m, integerOf(v))));
        }));
    c.getSet("selectionEnd", reading([](Doc&, MVMovie& m) { return V(timeValue(m, MVTimeRangeEnd(m.selection()))); }),
        "integer", onMovie([](MVMovie& m, const V& v) {
            int64_t start = timeValue(m, m.selection().time);
            m.setSelection(MVMakeTimeRange(m.selection().time, timeFromValue(m, integerOf(v) - start)));
        }));
    c.getSet("posterFrameTime", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.posterTime())); }), "integer",
        changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) { m.setPosterTime(timeFromValue(m, integerOf(v))); }));
    c.get("maxTimeLoaded", reading([](Doc&, MVMovie& m) { return V(timeValue(m, m.maxTimeLoaded())); }));
    c.getSet("preview",
        reading([](Doc&, MVMovie& m) {
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
            m.setPreviewRange(
                MVMakeTimeRange(timeFromValue(m, integerOf(*start)), timeFromValue(m, integerOf(*end) - integerOf(*start))));
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
        MVTime end = m.playsSelectionOnly() && !MVTimeRangeIsEmpty(m.selection()) ? MVTimeRangeEnd(m.selection()) : m.duration();
        return V(!m.isPlaying() && MVTimeCompare(m.currentTime(), end) >= 0);
    }));
    c.getSet("looping", reading([](Doc&, MVMovie& m) { return V(m.loopingMode() != MVMovieLoopingMode::None); }),
        "boolean", onMovie([](MVMovie& m, const V& v) {
            if (boolOf(v) != (m.loopingMode() != MVMovieLoopingMode::None))
                m.setLoopingMode(boolOf(v) ? MVMovieLoopingMode::Loop : MVMovieLoopingMode::None);
        }));
    c.getSet("palindrome", reading([](Doc&, MVMovie& m) { return V(m.loopingMode() == MVMovieLoopingMode::BackAndForth); }),
        "boolean", onMovie([](MVMovie& m, const V& v) {
            if (boolOf(v))
                m.setLoopingMode(MVMovieLoopingMode::BackAndForth);
            else if (m.loopingMode() == MVMovieLoopingMode::BackAndForth)
                m.setLoopingMode(MVMovieLoopingMode::Loop);
        }));
    c.getSet("playSelectionOnly", reading([](Doc&, MVMovie& m) { return V(m.playsSelectionOnly()); }), "boolean",
        onMovie([](MVMovie& m, const V& v) { m.setPlaysSelectionOnly(boolOf(v)); }));
    c.getSet("playAllFrames", reading([](Doc&, MVMovie& m) { return V(m.playsAllFrames()); }), "boolean",
        onMovie([](MVMovie& m, const V& v) { m.setPlaysAllFrames(boolOf(v)); }));
    c.getSet("autoPlay", reading([](Doc&, MVMovie& m) {
        auto item = MVUserDataGetItem(m.userData(), fourCC("play"), 1);
        return V(item && !item->empty() && (*item)[0] != 0);
    }),
        "boolean", changing([](Doc&, MVMovie& m, const V& v, HXScriptCommand&) {
            replaceUserData(m, fourCC("play"), { MVBytes { uint8_t(boolOf(v) ? 1 : 0) } });
        }));
    c.getSet("autoCloseWhenDone", [](Doc& d) { return V(d.closeWhenDone()); }, "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setCloseWhenDone(boolOf(v));
            movieChanged(d);
        });
    c.getSet("autoQuitWhenDone", [](Doc& d) { return V(d.quitWhenDone()); }, "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setQuitWhenDone(boolOf(v));
            movieChanged(d);
        });
    c.getSet("muted", reading([](Doc&, MVMovie& m) { return V(m.isMuted()); }), "boolean",
        onMovie([](MVMovie& m, const V& v) { m.setMuted(boolOf(v)); }));
    // Sound levels as the classic fixed-point numbers, held to their ranges.
    c.getSet("soundVolume", reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.volume() * 256))); }),
        "integer", onMovie([](MVMovie& m, const V& v) { m.setVolume(float(std::clamp<int64_t>(integerOf(v), -256, 256)) / 256); }));
    c.getSet("soundBalance", reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.balance() * 128))); }),
        "integer", onMovie([](MVMovie& m, const V& v) { m.setBalance(float(std::clamp<int64_t>(integerOf(v), -128, 128)) / 128); }));
    c.getSet("bassGain", reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.bass() * 256 * 0.125))); }),
        "integer",
        onMovie([](MVMovie& m, const V& v) { m.setBass(float(double(std::clamp<int64_t>(integerOf(v), -256, 256)) / 256 * 8)); }));
    c.getSet("trebleGain", reading([](Doc&, MVMovie& m) { return V(int64_t(int16Truncating(m.treble() * 256 * 0.125))); }),
        "integer",
        onMovie([](MVMovie& m, const V& v) { m.setTreble(float(double(std::clamp<int64_t>(integerOf(v), -256, 256)) / 256 * 8)); }));
}

void addPictureAndPresentationProperties(HXScriptClass<Doc>& c)
{
    c.getSet("videoBrightnessAdjustment", reading([](Doc&, MVMovie& m) { return V(double(m.visualBrightness())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualBrightness(float(realOf(v))); }));
    c.getSet("videoColorAdjustment", reading([](Doc&, MVMovie& m) { return V(double(m.visualSaturation())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualSaturation(float(realOf(v))); }));
    c.getSet("videoTintAdjustment", reading([](Doc&, MVMovie& m) { return V(double(m.visualHue())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualHue(float(realOf(v))); }));
    // The movie's contrast is 0 when neutral, the script's 1.0 less than the framework's factor: both 0.
    c.getSet("videoContrastAdjustment", reading([](Doc&, MVMovie& m) { return V(double(m.visualContrast())); }), "real",
        onMovie([](MVMovie& m, const V& v) { m.setVisualContrast(float(realOf(v))); }));

    c.getSet("dimensions", [](Doc& d) { return V(record(d.userSize().height, d.userSize().width)); }, "any",
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
    c.get("naturalDimensions", [](Doc& d) { return V(record(d.naturalSize().height, d.naturalSize().width)); });
    c.getSet("scale",
        [](Doc& d) {
            ScaleInputs in;
            // The size the user set the movie to, as the dimensions answer it.
            HXSize size = d.userSize();
            in.width = size.width, in.height = size.height;
            in.naturalWidth = d.naturalSize().width, in.naturalHeight = d.naturalSize().height;
            if (d.isFullScreen()) {
                in.fullScreenSize = presentationSizeCode(presentationSetting(d, FullscreenPreferenceSize).integerValue());
            } else if (auto controller = d.currentWindowController()) {
                if (auto window = controller->window(); window && window->screen())
                    in.visibleFrameSize = std::pair { window->screen()->visibleFrame().size.width, window->screen()->visibleFrame().size.height };
            }
            return V(int64_t(scaleCode(in)));
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
    c.getSet("currentMatrix",
        reading([](Doc&, MVMovie& m) {
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
    c.getSet("aperture",
        reading([](Doc&, MVMovie& m) {
            std::string mode = m.attributeForKey(MVMovieApertureModeAttribute).stringValue();
            return mode.empty() || mode == MVMovieApertureModeClassic ? code("uncn") : code("clea");
        }),
        "code", onMovie([](MVMovie& m, const V& v) {
            bool unconformed = uint32_t(integerOf(v)) == fourCC("uncn");
            m.setAttributeForKey(HXPropertyList(unconformed ? MVMovieApertureModeClassic : MVMovieApertureModeClean),
                MVMovieApertureModeAttribute);
        }));
    c.getSet("controllerType", [](Doc& d) { return V(int64_t(controllerTypeCode(d.movieControllerType()))); }, "code",
        [](Doc& d, const V& v, HXScriptCommand&) {
            d.setMovieControllerType(controllerTypeForCode(uint32_t(integerOf(v))));
            movieChanged(d);
        });

    c.getSet("presentationSize",
        [](Doc& d) { return V(int64_t(presentationSizeCode(presentationSetting(d, FullscreenPreferenceSize).integerValue()))); },
        "code", [](Doc& d, const V& v, HXScriptCommand&) {
            d.setPersistentFullscreenSetting(HXPropertyList(presentationSizeForCode(uint32_t(integerOf(v)))), FullscreenPreferenceSize);
        });
    c.getSet("presentationMode",
        [](Doc& d) { return presentationSetting(d, FullscreenPreferenceSlideShowMode).boolValue() ? code("pmss") : code("norm"); },
        "code", [](Doc& d, const V& v, HXScriptCommand&) {
            d.setPersistentFullscreenSetting(HXPropertyList(uint32_t(integerOf(v)) == fourCC("pmss")), FullscreenPreferenceSlideShowMode);
        });
    c.getSet("presentationBackgroundColor",
        [](Doc& d) { return V(colorRecord(presentationColor(d).value_or(HXColor::colorWithCalibratedRed(0, 0, 0)))); }, "any",
        [](Doc& d, const V& v, HXScriptCommand&) {
            auto settings = d.persistentFullscreenSettings();
            settings.color = colorFromValue(v);
            d.setPersistentFullscreenSettings(settings);
        });
    c.getSet("autoPresent", [](Doc& d) { return V(d.persistentFullscreenSettingForKey(FullscreenPreferenceAutoPresent).boolValue()); },
        "boolean", [](Doc& d, const V& v, HXScriptCommand&) {
            d.setPersistentFullscreenSetting(HXPropertyList(boolOf(v)), FullscreenPreferenceAutoPresent);
        });
    c.get("displayState", [](Doc& d) {
        bool presenting = d.isFullScreen() && d.fsPresentationWindowController() && d.fsPresentationWindowController()->isFullscreen();
        return presenting ? code("prsf") : code("norm");
    });

    auto avVisible = [](Doc&) { return V(avControlsVisible()); };
    auto setAVVisible = [](Doc&, const V& v, HXScriptCommand&) { setAVControlsVisible(boolOf(v)); };
    c.getSet("showVideoControls", avVisible, "boolean", setAVVisible);
    c.getSet("showSoundControls", avVisible, "boolean", setAVVisible);
    c.getSet("showMovieInfoWindow", [](Doc& d) { return V(d.movieInfo() && d.movieInfo()->isVisible()); }, "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            auto info = d.movieInfo();
            if (!info)
                return;
            if (boolOf(v) && !info->isVisible())
                info->showHidePanel();
            else if (!boolOf(v) && info->isVisible())
                info->hidePanel();
        });
    c.getSet("showDetailedMovieInfoWindow",
        [](Doc& d) {
            auto browser = d.moviePropertyBrowser();
            return V(browser && browser->window() && browser->window()->isVisible());
        },
        "boolean", [](Doc& d, const V& v, HXScriptCommand&) {
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
    c.get("loadState", reading([](Doc&, MVMovie& m) { return V(int64_t(loadStateCode(m.loadState()))); }));
    c.get("dataRate", reading([](Doc&, MVMovie& m) { return V(int64_t(int32_t(MVPMovieAdditions::dataRate(m)))); }));
    c.get("dataSize", reading([](Doc&, MVMovie& m) { return V(m.dataSize()); }));
    c.getSet("movieLanguage",
        reading([](Doc&, MVMovie& m) {
            int64_t language = m.attributeForKey("MVMovieLanguageAttribute").integerValue();
            const auto& names = movieLanguages();
            return V(language >= 0 && language < int64_t(names.size()) ? names[size_t(language)] : std::string("SystemDefault"));
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
    c.get("currentChapter", [](Doc&) { return V(); });
    c.get("currentChapterTrack", [](Doc&) { return V(HXScriptValue::List {}); });
    c.getSet("pluginSettings",
        reading([](Doc&, MVMovie& m) {
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
        c.getSet(key, [](Doc&) { return V(); }, "any", [](Doc&, const V&, HXScriptCommand&) { });
    addPanoramaProperties(c);
}

void addElements(HXScriptClass<Doc>& c)
{
    c.elements("tracks", [](Doc& d) {
        HXScriptValue::List list;
        if (d.movie())
            for (const auto& t : d.movie()->tracks())
                list.emplace_back(trackClassDescription().reference(t));
        return list;
    });
    c.elementInsert("tracks", [](Doc& d, const V& v, std::optional<int64_t>, HXScriptCommand& command) {
        if (!d.movie())
            return;
        std::shared_ptr<MVMovie> source;
        if (v.isObject() && v.object().classDescription() == &classDescription()) {
            source = v.object().as<Doc>()->movie();
        } else if (v.isPropertyList() && v.propertyList().isString()) {
            std::string path = v.propertyList().stringValue();
            if (!path.empty() && path[0] == '~')
                if (const char* home = std::getenv("HOME"))
                    path = home + path.substr(1);
            std::error_code ec;
            if (!std::filesystem::is_regular_file(path, ec)) {
                command.fail(HXScriptParameterError, "No movie file at \u201c" + path + "\u201d.");
                return;
            }
            HXError error;
            source = MVMovie::movieWithFile(path, &error);
            if (!source) {
                command.fail(error.code() ? int(error.code()) : int(HXScriptFailedError), error.localizedDescription());
                return;
            }
        } else {
            command.fail(HXScriptParameterError, "Tracks come from a movie or a movie file.");
            return;
        }
        if (!source || source == d.movie())
            return;
        // Added in parallel from the start of the movie.
        MVTimeRange selection = d.movie()->selection();
        d.movie()->setSelection(MVMakeTimeRange(MVMakeTime(0, d.movie()->timeScale()), MVMakeTime(0, d.movie()->timeScale())));
        bool added = d.movie()->add(source);
        d.movie()->setSelection(selection);
        if (!added)
            command.fail(HXScriptFailedError, "The tracks could not be added.");
        movieChanged(d);
    });
    c.elementRemove("tracks", [](Doc& d, int64_t index, HXScriptCommand&) {
        if (!d.movie())
            return;
        if (auto track = d.movie()->trackAtIndex(int(index) + 1)) {
            d.movie()->removeTrack(track);
            movieChanged(d);
        }
    });
    c.elements("chapters", [](Doc&) { return HXScriptValue::List {}; });
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
    static const std::vector<std::string> names = { "English", "French", "German", "Italian", "Dutch", "Swedish",
        "Spanish", "Danish", "Portuguese", "Norwegian", "Hebrew", "Japanese", "Arabic", "Finnish", "Greek", "Icelandic",
        "Maltese", "Turkish", "Croatian", "TraditionalChinese", "Urdu", "Hindi", "Thai", "Korean", "Lithuanian", "Polish",
        "Hungarian", "Estonian", "Latvian", "Saamisk", "Faroese", "Farsi", "Russian", "SimplifiedChinese", "Flemish",
        "Irish", "Albanian" };
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
    if (w == W && h == H)
        return fourCC("norm");
    if (w == W * 0.5 && h == H * 0.5)
        return fourCC("half");
    if (w == 2 * W && h == 2 * H)
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
        if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc); movieDoc && movieDoc->movie().get() == movie)
            return movieDoc;
    return nullptr;
}

const HXScriptClass<MVTrack>& trackClassDescription()
{
    static const HXScriptClass<MVTrack> cls = [] {
        HXScriptClass<MVTrack> c("track");
        c.get("name", [](MVTrack& t) { return V(MVUserDataGetText(t.userData(), fourCC("name")).value_or("")); });
        c.get("id", [](MVTrack& t) { return V(int64_t(t.trackID())); });
        c.get("type", [](MVTrack& t) { return V(HXStringFromFourCharCode(t.mediaType())); });
        c.get("trackEnabled", [](MVTrack& t) { return V(t.isEnabled()); });
        c.specifier([](MVTrack& t) -> std::optional<HXScriptObjectSpecifier> {
            auto doc = documentForMovie(t.movie().get());
            auto container = doc ? classDescription().objectSpecifier(doc.get()) : std::nullopt;
            if (!container)
                return std::nullopt;
            return HXScriptObjectSpecifier::index("tracks", t.index() - 1, std::make_shared<HXScriptObjectSpecifier>(*container));
        });
        return c;
    }();
    return cls;
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
        c.undefinedKeys([](Doc& d, const std::string& key) { return d.movie() && d.movie()->movieAttributes().count(key) > 0; },
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
            return HXScriptObjectSpecifier::uniqueID("orderedDocuments", HXPropertyList(int64_t(d.uniqueID())));
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
