#pragma once
// HXHelpManager: the program's help book — HTML pages among the main bundle's resources, in the folder the
// bundle's "HFBundleHelpBookName" information key names ("Help" when it names none), starting at
// "index.html". A page is opened in the desktop's web browser (xdg-open), at an anchor when one is given.
#include <functional>
#include <memory>
#include <string>

class HXBundle;

inline constexpr const char* kHFBundleHelpBookNameKey = "HFBundleHelpBookName";

class HXHelpManager {
public:
    static HXHelpManager& sharedHelpManager();

    // The "file://" URL of the book's first page with `anchor` as its fragment (none when empty); empty
    // when the book has no first page. The book is `book` of `bundle`, each the main bundle's own when
    // not given.
    std::string helpURL(const std::string& anchor, const std::string& book = {},
        const std::shared_ptr<HXBundle>& bundle = nullptr) const;
    // Opens that page; false when there is none or it could not be handed to the browser.
    bool openHelpAnchor(const std::string& anchor, const std::string& book = {},
        const std::shared_ptr<HXBundle>& bundle = nullptr);

    // What opens a URL (tests put a recorder here); by default xdg-open.
    void setURLOpener(std::function<bool(const std::string& url)> opener) { _opener = std::move(opener); }

private:
    HXHelpManager() = default;
    std::function<bool(const std::string&)> _opener;
};
