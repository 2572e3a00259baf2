#include "export/mail_attachments.h"

#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder holding `path`, when that folder is right inside `parent`; "" otherwise.
std::string folderRightInside(const std::string& path, const std::string& parent)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash <= parent.size() + 1)
        return {};
    std::string folder = path.substr(0, slash);
    if (folder.compare(0, parent.size(), parent) != 0 || folder[parent.size()] != '/'
        || folder.find('/', parent.size() + 1) != std::string::npos)
        return {};
    std::string name = folder.substr(parent.size() + 1);
    return name == "." || name == ".." ? std::string() : folder;
}

bool makeUserFolder(const std::string& path, std::string* why)
{
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    if (why)
        *why = HXError::posix(errno, path).localizedDescription();
    return false;
}

} // namespace

std::string MVPMailAttachments::directory()
{
    return HXUserCacheDirectory() + "/Mail";
}

std::string MVPMailAttachments::makeFolder(std::string* why)
{
    // The cache folder may be shared with the program's other caches; the mail folder and the jobs' folders
    // within are the user's alone, as the movies are.
    const std::string cache = HXUserCacheDirectory();
    HXError error;
    if (!HXFileManager::defaultManager().createDirectoryAtPath(cache, true, &error)) {
        if (why)
            *why = error.localizedDescription();
        return {};
    }
    const std::string mail = directory();
    if (!makeUserFolder(mail, why))
        return {};
    std::string folder = mail + "/XXXXXX";
    if (!::mkdtemp(folder.data())) {
        if (why)
            *why = HXError::posix(errno, mail).localizedDescription();
        return {};
    }
    return folder;
}

void MVPMailAttachments::remove(const std::string& path)
{
    std::string folder = folderRightInside(path, directory());
    if (!folder.empty())
        removeFolderOfOneJob(folder);
}

void MVPMailAttachments::removeOld(std::time_t now)
{
    const std::string mail = directory();
    auto names = HXFileManager::defaultManager().contentsOfDirectoryAtPath(mail);
    if (!names)
        return;
    const std::time_t oldest = now - std::time_t(maximumAgeDays) * 24 * 60 * 60;
    for (const auto& name : *names) {
        const std::string path = mail + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || st.st_mtime >= oldest)
            continue;
        if (S_ISDIR(st.st_mode))
            removeFolderOfOneJob(path);
        else
            ::unlink(path.c_str());
    }
}

void MVPMailAttachments::removeFolderOfOneJob(const std::string& folder)
{
    if (auto names = HXFileManager::defaultManager().contentsOfDirectoryAtPath(folder)) {
        for (const auto& name : *names) {
            const std::string path = folder + "/" + name;
            struct stat st;
            if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                ::unlink(path.c_str());
        }
    }
    ::rmdir(folder.c_str()); // only once empty
}
