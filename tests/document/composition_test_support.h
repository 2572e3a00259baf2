#pragma once
// What the composition document tests share: a small composition file and a fixture that opens it.
#include "document/composition_document.h"
#include "movie_document_test_support.h"

#include "test_support.h"

#include <memory>
#include <vector>

namespace movara::test::document {

inline constexpr const char* kComposition = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>name</key><string>Blue Hour</string>
  <key>description</key><string>A square that drifts.</string>
  <key>copyright</key><string>Movara</string>
  <key>size</key><array><integer>64</integer><integer>48</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0</real><real>0</real><real>1</real></array></dict>
  </array>
</dict></plist>)";

class CompositionDocumentTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        writeFile(dir / "blue.vcomp", kComposition);
    }
    void TearDown() override
    {
        for (auto& doc : std::vector(docs))
            if (!doc->isClosed())
                doc->close();
        docs.clear();
        MVPVitrelCompDocument::setVitrelSupportedOverride(std::nullopt);
        DocumentTest::TearDown();
        HXRunLoop::main().setClock(nullptr);
    }

    std::shared_ptr<MVPVitrelCompDocument> openComposition()
    {
        HXError error;
        auto doc = std::dynamic_pointer_cast<MVPVitrelCompDocument>(
            MVPVitrelCompDocument::documentWithContentsOfFile(
                (dir / "blue.vcomp").string(), MVPVitrelCompositionDocumentType, &error));
        EXPECT_TRUE(doc) << error.localizedDescription();
        if (!doc)
            return nullptr;
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        docs.push_back(doc);
        return doc;
    }

    TempDir dir;
    std::shared_ptr<HXManualClock> clock;
    std::vector<std::shared_ptr<HXDocument>> docs;
};

} // namespace movara::test::document
