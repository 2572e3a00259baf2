// The recent items and favorites as other programs see them in the user defaults file: python's plistlib
// reads arrays of dictionaries with exactly the documented keys, and a list python writes is read back.
#include "app/document_controller.h"
#include "app/favorites_controller.h"
#include "core/preferences.h"
#include "platform/basekit/user_defaults.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using movara::test::haveProgram;
using movara::test::runCommand;

std::string defaultsFile()
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    return defaults.pathForDomain(defaults.identifier());
}

TEST(StoredListsPeer, PythonReadsTheListsAsDocumented)
{
    if (!haveProgram("python3"))
        GTEST_SKIP() << "python3 is not available";
    auto controller = std::make_shared<MVPMovieDocumentController>();
    controller->noteNewRecentDocumentWithAttributes(MVPRecentDocuments::entryForDataReference(
        "clip.mov", MVDataReference::dataReferenceWithReferenceToFile("/home/u/Movies/A/clip.mov")));
    controller->noteNewRecentDocumentWithAttributes(MVPRecentDocuments::entryForDataReference("live",
        MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("rtsp://cam.local/live"))));
    auto& favorites = MVPFavoritesController::favoritesController();
    favorites.noteNewFavoriteDocumentWithAttributes(MVPFavoritesController::entryForMovie(
        "Holiday", MVDataReference::dataReferenceWithReferenceToFile("/home/u/Movies/Holiday.mov")));
    ASSERT_TRUE(HXUserDefaults::standardUserDefaults().synchronize());

    const char* script = R"(
import plistlib, sys
d = plistlib.load(open(sys.argv[1], 'rb'))
for e in d['MVPRecentDocumentsUserDefault']:
    assert sorted(e) == ['altname', 'dataRef', 'dataRefType', 'name'], sorted(e)
    assert isinstance(e['dataRef'], bytes) and isinstance(e['name'], str)
    print('recent', e['name'], repr(e['dataRefType']), e['altname'])
url = d['MVPRecentDocumentsUserDefault'][0]['dataRef']
print('url bytes', url.rstrip(b'\0').decode())
for e in d['MVPFavoriteDocumentsUserDefault']:
    assert sorted(e) == ['dataRef', 'dataRefType', 'name'], sorted(e)
    assert b'/home/u/Movies/Holiday.mov' in e['dataRef']
    print('favorite', e['name'], repr(e['dataRefType']))
)";
    auto result = runCommand({ "python3", "-c", script, defaultsFile() });
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output,
        "recent live 'url ' live - rtsp://cam.local/live\n"
        "recent clip.mov 'alis' clip.mov - .../A/clip.mov\n"
        "url bytes rtsp://cam.local/live\n"
        "favorite Holiday 'alis'\n");
    MVPFavoritesController::resetFavoritesController();
}

TEST(StoredListsPeer, AListWrittenByPythonIsRead)
{
    if (!haveProgram("python3"))
        GTEST_SKIP() << "python3 is not available";
    movara::test::TempDir dir;
    std::string path = (dir.path() / "peer-lists.plist").string();
    const char* script = R"(
import plistlib, sys
entry = lambda n, u: {'name': n, 'dataRef': u.encode() + b'\0', 'dataRefType': 'url '}
plistlib.dump({'MVPFavoriteDocumentsUserDefault': [entry('one', 'http://h.example/1.mov'), 'junk', entry('two', 'http://h.example/2.mov')]}, open(sys.argv[1], 'wb'))
)";
    auto result = runCommand({ "python3", "-c", script, path });
    ASSERT_EQ(result.status, 0) << result.output;
    auto written = HXPropertyList::readFromFile(path);
    ASSERT_TRUE(written);
    HXUserDefaults::standardUserDefaults().setObject(
        (*written)[MVPFavoriteDocumentsUserDefault], MVPFavoriteDocumentsUserDefault);
    MVPFavoritesController::resetFavoritesController();
    auto& list = MVPFavoritesController::favoritesController().favoriteDocuments();
    ASSERT_EQ(list.size(), 2u) << "what is not an entry is left out";
    EXPECT_EQ(MVPFavoritesController::locationOfEntry(list[1].dictionaryValue()), "http://h.example/2.mov");
    MVPFavoritesController::resetFavoritesController();
}

} // namespace
