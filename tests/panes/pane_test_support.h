#pragma once
// Shared by the panes' tests: small movies made by ffmpeg, the built pane bundles, a host that records
// what the panes ask of it, and an undo manager for a movie.
#include "inspectors/pane_interface.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/movie.h"

#include "test_support.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace movara::test {

// A movie file made once per test program with ffmpeg from `args` (the input options and codecs), named
// `name` in a folder removed at exit; empty when ffmpeg cannot make it.
inline std::filesystem::path paneFixture(const std::string& name, const std::vector<std::string>& args)
{
    static TempDir dir;
    std::filesystem::path path = dir / name;
    if (std::filesystem::exists(path))
        return path;
    std::vector<std::string> argv { "ffmpeg", "-nostdin", "-loglevel", "error", "-y" };
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(path.string());
    if (runCommand(argv).status != 0 || !std::filesystem::exists(path))
        return {};
    return path;
}
// 0.5 s of 64 x 48 video and stereo sound in a .mov.
inline std::filesystem::path videoAndSoundMovie()
{
    return paneFixture("av.mov",
        { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=0.5", "-f", "lavfi", "-i",
            "sine=frequency=440:duration=0.5:sample_rate=8000", "-ac", "2", "-c:v", "mpeg4", "-c:a", "pcm_s16le",
            "-shortest" });
}
// 0.5 s of mono sound alone.
inline std::filesystem::path monoSoundMovie()
{
    return paneFixture("mono.mov",
        { "-f", "lavfi", "-i", "sine=frequency=440:duration=0.5:sample_rate=8000", "-ac", "1", "-c:a", "pcm_s16le" });
}

// The built bundle <Name>.mvpane.
inline std::shared_ptr<HXBundle> paneBundle(const std::string& name)
{
    return HXBundle::bundleWithPath(std::string(MOVARA_PANES_DIR) + "/" + name + ".mvpane");
}

// A movie opened from `path` with an undo manager of its own.
struct UndoableMovie {
    std::shared_ptr<MVMovie> movie;
    std::unique_ptr<HXUndoManager> undo = std::make_unique<HXUndoManager>();
    explicit UndoableMovie(const std::filesystem::path& path)
    {
        if (!path.empty())
            movie = MVMovie::movieWithFile(path.string(), nullptr);
        if (movie)
            movie->setUndoManager(undo.get());
    }
    explicit UndoableMovie(std::shared_ptr<MVMovie> m)
        : movie(std::move(m))
    {
        movie->setUndoManager(undo.get());
    }
    ~UndoableMovie()
    {
        if (movie)
            movie->setUndoManager(nullptr);
    }
    explicit operator bool() const { return movie != nullptr; }
};

class RecordingPaneHost : public MVPPaneHost {
public:
    std::map<std::string, HXPropertyList> settings;
    bool hasDocument = true;
    std::vector<MVDataReference> opened;

    std::optional<HXPropertyList> persistentFullscreenSettingForKey(
        const std::shared_ptr<MVMovie>&, const std::string& key) override
    {
        if (!hasDocument || !settings.count(key))
            return std::nullopt;
        return settings[key];
    }
    bool setPersistentFullscreenSetting(
        const std::shared_ptr<MVMovie>&, const HXPropertyList& value, const std::string& key) override
    {
        if (!hasDocument)
            return false;
        settings[key] = value;
        return true;
    }
    bool createMovieDocumentWithDataRef(const MVDataReference& ref, bool openInNewPlayer) override
    {
        if (openInNewPlayer)
            opened.push_back(ref);
        return true;
    }
    HXPropertyList valueForKey(const MVPInspectedObject& object, const std::string& key) override
    {
        if (key == "verboseStringForList" && object.isTrack())
            return HXPropertyList("Track " + std::to_string(object.track()->trackID()));
        return {};
    }
};

} // namespace movara::test
