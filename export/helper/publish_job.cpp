#include "export/helper/publish_job.h"

#include "export/helper/helper_connection.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t kErrorOutputLimit = 4096;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

HelperJobResult finish(HelperConnection& player, int status, const std::string& errorOutput,
    const std::string& what, const char* resource)
{
    if (player.shouldStop())
        return HelperJobResult::Canceled;
    player.send(HXPropertyList::Dictionary { { "releaseResource", resource } });
    if (status != 0) {
        std::string message = status < 0 ? what + " cannot be started." : what + " failed";
        if (status > 0)
            message += " (" + std::to_string(status) + ")";
        if (!errorOutput.empty())
            message += ": " + trimmed(errorOutput);
        HelperReportError(player, status < 0 ? -1 : status, message);
        return HelperJobResult::Failed;
    }
    player.send(HXPropertyList::Dictionary { { "progress", 1.0 } });
    return HelperJobResult::Complete;
}

// Copies `source` into a new file at `destination`, watching the player for a cancel between chunks (a
// large movie takes a while). False with the reason in `why`; the caller removes what was written.
bool copyFile(
    HelperConnection& player, const std::string& source, const std::string& destination, std::string* why)
{
    auto failed = [&](int error, const std::string& path) {
        if (why)
            *why = path + ": " + std::strerror(error);
        return false;
    };
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return failed(errno, source);
    int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
        int error = errno;
        ::close(in);
        return failed(error, destination);
    }
    std::vector<char> buffer(1 << 20);
    int error = 0;
    const std::string* failedPath = &destination;
    while (!error) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0) {
                error = errno;
                failedPath = &source;
            }
            break;
        }
        for (ssize_t done = 0; done < n && !error;) {
            ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
            if (w > 0)
                done += w;
            else if (w == 0 || errno != EINTR)
                error = w == 0 ? EIO : errno;
        }
        player.poll();
        if (!error && player.shouldStop())
            error = ECANCELED;
    }
    ::close(in);
    if (!error && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && !error)
        error = errno;
    return error ? failed(error, *failedPath) : true;
}

HelperJobResult publishScript(HelperConnection& player, const HXPropertyList::Dictionary& params)
{
    auto script = params.find("PublishZantrelScriptScript");
    auto file = params.find("MVExpNameOut");
    if (script == params.end() || !script->second.isString() || file == params.end()
        || !file->second.isString()) {
        HelperReportError(player, HelperParameterError,
            "The job has no script or no file to hand it (\"PublishZantrelScriptScript\", "
            "\"MVExpNameOut\").");
        return HelperJobResult::Failed;
    }
    auto attachment = params.find("MVPublishAttachment");
    if (attachment != params.end()
        && (!attachment->second.isString() || attachment->second.stringValue().empty()
            || attachment->second.stringValue()[0] != '/')) {
        HelperReportError(player, HelperParameterError,
            "The job has no full path for the copy it hands on (\"MVPublishAttachment\").");
        return HelperJobResult::Failed;
    }
    if (auto refused = HelperAcquireResource(player, "ZantrelScript"))
        return *refused;
    player.send(HXPropertyList::Dictionary { { "status", "PublishState" }, { "progress", -1.0 } });
    // The program may read its file after the job, when the written movie is gone: it gets a copy of its own.
    std::string handedOn = file->second.stringValue();
    if (attachment != params.end()) {
        handedOn = attachment->second.stringValue();
        std::string why;
        if (!HelperHandOnCopy(player, file->second.stringValue(), handedOn, &why)) {
            if (player.shouldStop())
                return HelperJobResult::Canceled;
            player.send(HXPropertyList::Dictionary { { "releaseResource", "ZantrelScript" } });
            HelperReportError(player, -1, "The movie cannot be handed on: " + why);
            return HelperJobResult::Failed;
        }
    }
    auto name = params.find("MVExpSourceName");
    std::string errorOutput;
    int status = HelperRunProgram(player,
        { "/bin/sh", "-c", script->second.stringValue(), "sh", handedOn,
            name != params.end() ? name->second.stringValue() : std::string() },
        &errorOutput);
    return finish(player, status, errorOutput, "The sharing script", "ZantrelScript");
}

HelperJobResult publishPodcast(HelperConnection& player, const HXPropertyList::Dictionary& params)
{
    auto tool = params.find("CmdLinePath");
    auto args = params.find("SubmitArgs");
    if (tool == params.end() || !tool->second.isString() || tool->second.stringValue().empty()
        || args == params.end() || !args->second.isArray()) {
        HelperReportError(player, HelperParameterError,
            "The job has no publishing program or no arguments (\"CmdLinePath\", \"SubmitArgs\").");
        return HelperJobResult::Failed;
    }
    std::vector<std::string> argv { tool->second.stringValue() };
    for (const auto& arg : args->second.arrayValue())
        argv.push_back(arg.stringValue());
    if (auto refused = HelperAcquireResource(player, "Network"))
        return *refused;
    player.send(
        HXPropertyList::Dictionary { { "status", "DAVQuillonUploadingState" }, { "progress", -1.0 } });
    std::string errorOutput;
    int status = HelperRunProgram(player, argv, &errorOutput);
    return finish(player, status, errorOutput, "The publishing program", "Network");
}

} // namespace

int HelperRunProgram(HelperConnection& player, const std::vector<std::string>& argv, std::string* errorOutput)
{
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        return -1;
    }
    if (pid == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, STDIN_FILENO);
            ::dup2(devnull, STDOUT_FILENO);
        }
        ::close(player.fileDescriptor());
        std::vector<char*> cargv;
        for (const auto& a : argv)
            cargv.push_back(const_cast<char*>(a.c_str()));
        cargv.push_back(nullptr);
        ::execv(cargv[0], cargv.data());
        _exit(127);
    }
    ::close(errPipe[1]);
    // The error output is read as it comes (so a talkative program never stalls on a full pipe) while
    // the player is watched for a cancel.
    bool open = true;
    while (open) {
        pollfd fds[2] = { { errPipe[0], POLLIN, 0 }, { player.fileDescriptor(), POLLIN, 0 } };
        int ready = ::poll(fds, 2, 200);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents) {
            char buffer[1024];
            ssize_t n = ::read(errPipe[0], buffer, sizeof buffer);
            if (n > 0 && errorOutput && errorOutput->size() < kErrorOutputLimit)
                errorOutput->append(
                    buffer, size_t(std::min<ssize_t>(n, ssize_t(kErrorOutputLimit - errorOutput->size()))));
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                open = false;
        }
        if (fds[1].revents)
            player.poll();
        if (player.shouldStop()) {
            ::kill(pid, SIGTERM);
            break;
        }
    }
    ::close(errPipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (WIFEXITED(status))
        return WEXITSTATUS(status) == 127 && errorOutput && errorOutput->empty() ? -1 : WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

bool HelperHandOnCopy(
    HelperConnection& player, const std::string& source, const std::string& destination, std::string* why)
{
    auto slash = destination.rfind('/');
    const std::string partial = destination.substr(0, slash + 1) + "." + destination.substr(slash + 1)
        + ".partial-" + std::to_string(::getpid());
    ::unlink(partial.c_str());
    // The same file under a second name where the file system allows it; a copy otherwise.
    bool made = ::link(source.c_str(), partial.c_str()) == 0 || copyFile(player, source, partial, why);
    if (made && ::rename(partial.c_str(), destination.c_str()) != 0) {
        if (why)
            *why = destination + ": " + std::strerror(errno);
        made = false;
    }
    if (!made)
        ::unlink(partial.c_str());
    return made;
}

HelperJobResult performPublishStep(HelperConnection& player, const HXPropertyList::Dictionary& params)
{
    std::string step = params.at("MVPublishStep").stringValue();
    if (step == "PublishZantrelScript")
        return publishScript(player, params);
    if (step == "PublishPodcast")
        return publishPodcast(player, params);
    HelperReportError(player, HelperUnimplementedError,
        "MVPlayerHelper cannot perform the publishing step \"" + step + "\".");
    return HelperJobResult::Failed;
}
