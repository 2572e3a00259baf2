// The data references pane: the name and source shown for file, URL and memory references, opening
// the selected rows in row order and revealing only references to files.
#include "sources_pane.h"

#include "pane_test_support.h"
#include "pane_views.h"

#include "platform/mvkit/media.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

std::shared_ptr<MVPSourcesPane> makePane(const MVPInspectedObject& object, MVPPaneHost* host = nullptr)
{
    auto pane = std::make_shared<MVPSourcesPane>(object, paneBundle("SourcesPane"), host);
    pane->view();
    return pane;
}

// A movie whose video track has samples in `refs`, one sample per reference.
std::shared_ptr<MVMovie> movieWithReferences(const std::vector<MVDataReference>& refs)
{
    UndoableMovie source(videoAndSoundMovie());
    if (!source)
        return nullptr;
    MVBytes description = source.movie->tracksOfMediaType(MVFourCC("vide")).at(0)->media()->sampleDescription(1);
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 64, 48);
    for (const auto& ref : refs) {
        if (ref.kind() == MVDataReference::Kind::Memory)
            track->media()->addSample(MVBytes(16, 0), 60, 1, description, 0);
        else
            track->media()->addSampleReference(0, 16, 60, description, 1, 0, ref);
    }
    return movie;
}

std::string cell(MVPSourcesPane& pane, const std::string& column, long row)
{
    auto table = pane.table();
    return pane.objectValueForTableColumn(*table, MVPTableColumn(*table, column), row).stringValue();
}

} // namespace

TEST(SourcesPane, ShowsNameAndSourceOfEachKindOfReference)
{
    UndoableMovie file(videoAndSoundMovie());
    if (!file)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    std::string path = std::filesystem::canonical(videoAndSoundMovie()).string();
    auto url = MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("http://example.org/films/clip.mov"));
    auto named = MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("http://example.org/x/"));
    named.setName("The Clip");
    auto memory = MVDataReference::dataReferenceWithReferenceToData(std::make_shared<std::vector<uint8_t>>());
    auto movie = movieWithReferences({ url, named, memory });
    ASSERT_TRUE(movie);

    struct Case {
        const char* what;
        MVPInspectedObject object;
        long row;
        std::string name, source;
    };
    std::vector<Case> cases {
        { "file movie", MVPInspectedObject(file.movie), 0, "av.mov", path },
        { "file track", MVPInspectedObject(file.movie->tracks().at(0)), 0, "av.mov", path },
        { "URL", MVPInspectedObject(movie), 0, "clip.mov", "http://example.org/films/clip.mov" },
        { "named URL", MVPInspectedObject(movie), 1, "The Clip", "http://example.org/x/" },
        { "memory", MVPInspectedObject(movie), 2, "Unavailable", "Handle" },
    };
    for (const auto& c : cases) {
        auto pane = makePane(c.object);
        ASSERT_LT(c.row, pane->numberOfRowsInTableView(*pane->table())) << c.what;
        EXPECT_EQ(cell(*pane, "name", c.row), c.name) << c.what;
        EXPECT_EQ(cell(*pane, "source", c.row), c.source) << c.what;
        EXPECT_EQ(pane->objectValueForTableColumn(*pane->table(), nullptr, c.row).stringValue(), "") << c.what;
    }
}

TEST(SourcesPane, OpensSelectedRowsInOrderAndRevealsOnlyFiles)
{
    UndoableMovie file(videoAndSoundMovie());
    if (!file)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    std::string path = std::filesystem::canonical(videoAndSoundMovie()).string();
    auto a = MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("http://example.org/a.mov"));
    auto b = MVDataReference::dataReferenceWithReferenceToFile(path);
    auto c = MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("http://example.org/c.mov"));
    auto movie = movieWithReferences({ a, b, c });
    ASSERT_TRUE(movie);
    RecordingPaneHost host;
    auto pane = makePane(MVPInspectedObject(movie), &host);
    ASSERT_EQ(pane->dataRefs().size(), 3u);
    std::vector<std::string> revealed;
    pane->selectFileInFileViewer = [&](const std::string& p) { revealed.push_back(p); return true; };

    pane->table()->selectRowIndexes({ 2, 0, 1 }, false);
    pane->performAction("open:", pane->table().get());
    ASSERT_EQ(host.opened.size(), 3u);
    EXPECT_EQ(host.opened[0], a);
    EXPECT_EQ(host.opened[1], b);
    EXPECT_EQ(host.opened[2], c);

    pane->performAction("reveal:", nullptr);
    EXPECT_EQ(revealed, std::vector<std::string> { path });
}

TEST(SourcesPane, HasNoUpperSizeLimitAndAnEmptyListForAMovieWithoutMedia)
{
    auto pane = makePane(MVPInspectedObject(MVMovie::movie()));
    EXPECT_EQ(pane->numberOfRowsInTableView(*pane->table()), 0);
    EXPECT_GT(pane->maxViewSize().width, 1e38);
    EXPECT_EQ(pane->minViewSize(), pane->view()->bounds().size);
}

TEST(SourcesPane, PathsReachTheFileManagerQuotedWhateverTheyHold)
{
    // The file manager's call takes the file's address as a quoted string: quotes and backslashes in it
    // must not end the string early.
    struct Case {
        const char* text;
        const char* literal;
    };
    const Case cases[] = {
        { "file:///home/me/a.mov", "'file:///home/me/a.mov'" },
        { "file:///home/me/Tom's.mov", "'file:///home/me/Tom\\'s.mov'" },
        { "a\\b", "'a\\\\b'" },
        { "", "''" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPGVariantStringLiteral(c.text), c.literal) << c.text;
}
