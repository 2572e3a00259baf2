#include "platform/mvkit/streaming/url_probe.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/url.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

// The code of a location that was asked and does not play.
constexpr int64_t kNotPlayableError = -2102;

std::string lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Formats libavformat recognises by their contents that hold no pictures and no sound: subtitles,
// metadata, and lists of other files.
bool isNotAMovie(const std::string& format)
{
    static const char* const names[] = { "aqtitle", "ass", "concat", "ffmetadata", "jacosub", "lrc", "mcc",
        "microdvd", "mpl2", "mpsub", "pjs", "realtext", "sami", "scc", "srt", "stl", "subviewer",
        "subviewer1", "vplayer", "webvtt" };
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return format == n; });
}

constexpr auto serverOf = &MVNetworkDeadline::serverOf;
constexpr auto secondsText = &MVNetworkDeadline::secondsText;

std::string capitalised(std::string s)
{
    if (!s.empty())
        s[0] = char(std::toupper(static_cast<unsigned char>(s[0])));
    return s;
}

MVURLProbe::Result refusal(MVURLProbe::Outcome outcome, const std::string& text, const std::string& url)
{
    MVURLProbe::Result result;
    result.outcome = outcome;
    result.error = HXError::withDescription(HXOSStatusErrorDomain, kNotPlayableError, text);
    result.error.userInfo()[HXURLErrorKey] = url;
    return result;
}

// Why opening `url` failed with `code`.
MVURLProbe::Result openFailure(
    int code, const MVNetworkDeadline& network, double timeout, const std::string& url, bool rtsp)
{
    using Outcome = MVURLProbe::Outcome;
    if (rtsp && code == AVERROR_INVALIDDATA && !network.timedOut())
        return refusal(Outcome::NotAMovie,
            capitalised(serverOf(url)) + " does not describe a stream the player can play.", url);
    // The player's words, or libavformat's where it has none.
    auto words = MVNetworkDeadline::openFailureWords(code, network.timedOut(), timeout, url);
    const std::string reason = words
        ? capitalised(*words) + "."
        : "The location cannot be opened: " + MVNetworkDeadline::errorClause(code) + ".";
    Outcome outcome = MVNetworkDeadline::isUnreachable(code) ? Outcome::Unreachable : Outcome::Failed;
    if (network.timedOut())
        outcome = Outcome::NoAnswer;
    else if (code == AVERROR(ECONNREFUSED))
        outcome = Outcome::Refused;
    else if (code == AVERROR_HTTP_NOT_FOUND)
        outcome = Outcome::NotFound;
    else if (code == AVERROR_INVALIDDATA)
        outcome = Outcome::NotAMovie;
    return refusal(outcome, reason, url);
}

MVURLProbe::Result probeDescribedStream(const std::string& url, double timeout, MVNetworkDeadline& network)
{
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return refusal(MVURLProbe::Outcome::Failed, "The location cannot be asked: out of memory.", url);
    context->interrupt_callback = network.callback();
    AVDictionary* options = nullptr;
    // Described and set up, not played: nothing is sent before the movie asks for it.
    av_dict_set(&options, "initial_pause", "1", 0);
    network.arm(timeout);
    int result = avformat_open_input(&context, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0)
        return openFailure(result, network, timeout, url, true);
    const unsigned streams = context->nb_streams;
    MVURLProbe::Result probed;
    probed.formatName = context->iformat ? context->iformat->name : "";
    // The session ends at once, within a short wait of its own.
    network.arm(std::min(timeout, 2.0));
    avformat_close_input(&context);
    if (streams == 0)
        return refusal(MVURLProbe::Outcome::NotAMovie,
            capitalised(serverOf(url)) + " describes a stream with nothing in it.", url);
    probed.outcome = MVURLProbe::Outcome::Plays;
    return probed;
}

MVURLProbe::Result probeTransfer(const std::string& url, double timeout, MVNetworkDeadline& network)
{
    AVIOInterruptCB interrupt = network.callback();
    AVIOContext* io = nullptr;
    AVDictionary* options = nullptr;
    // A plain request, not one for a range: an empty resource answers with nothing, not with a refusal.
    av_dict_set(&options, "seekable", "0", 0);
    network.arm(timeout);
    int result = avio_open2(&io, url.c_str(), AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    if (result < 0)
        return openFailure(result, network, timeout, url, false);
    std::string contentType;
    uint8_t* mime = nullptr;
    if (av_opt_get(io, "mime_type", AV_OPT_SEARCH_CHILDREN, &mime) >= 0 && mime) {
        contentType = reinterpret_cast<const char*>(mime);
        av_free(mime);
    }
    // libavformat reads as much as it needs to recognise the data (the content type helps it) and no
    // more than kProbeBytes.
    const AVInputFormat* format = nullptr;
    result = av_probe_input_buffer2(io, &format, url.c_str(), nullptr, 0, MVURLProbe::kProbeBytes);
    const int64_t arrived = io->bytes_read;
    avio_closep(&io);
    const std::string what = contentType.empty() ? "" : " (" + contentType + ")";
    MVURLProbe::Result probed;
    if (result < 0 || !format) {
        if (network.timedOut() && arrived == 0)
            return openFailure(result, network, timeout, url, false);
        if (arrived == 0)
            probed = refusal(MVURLProbe::Outcome::NotAMovie,
                capitalised(serverOf(url)) + " sends nothing" + what + ".", url);
        else if (network.timedOut())
            // Too little came to tell what it is: the server is slow or stopped sending, not wrong.
            probed = refusal(MVURLProbe::Outcome::NoAnswer,
                capitalised(serverOf(url)) + " did not send enough within " + secondsText(timeout)
                    + " to tell what it is.",
                url);
        else if (result == AVERROR_INVALIDDATA || result == AVERROR_EOF)
            probed = refusal(MVURLProbe::Outcome::NotAMovie,
                "What " + serverOf(url) + " sends" + what + " is not a movie the player can play.", url);
        else
            probed = openFailure(result, network, timeout, url, false);
    } else if (isNotAMovie(format->name)) {
        probed = refusal(MVURLProbe::Outcome::NotAMovie,
            "What " + serverOf(url) + " sends" + what + " is " + format->long_name + ", not a movie.", url);
    } else {
        probed.outcome = MVURLProbe::Outcome::Plays;
    }
    if (format)
        probed.formatName = format->name;
    probed.contentType = contentType;
    return probed;
}

} // namespace

MVURLProbe::Result MVURLProbe::probe(const std::string& url, double timeout, MVNetworkDeadline& network)
{
    const auto colon = url.find(':');
    const std::string scheme = colon == std::string::npos ? std::string() : lowercase(url.substr(0, colon));
    if (scheme == "rtsp" || scheme == "rtsps")
        return probeDescribedStream(url, timeout, network);
    return probeTransfer(url, timeout, network);
}

MVURLProbe::MVURLProbe(std::string url, Completion completion)
    : _url(std::move(url))
    , _completion(std::move(completion))
{
}

std::shared_ptr<MVURLProbe> MVURLProbe::start(const std::string& url, double timeout, Completion completion)
{
    std::shared_ptr<MVURLProbe> probe(new MVURLProbe(url, std::move(completion)));
    std::weak_ptr<MVURLProbe> weak = probe;
    // The thread never outlives the probe (the destructor waits for it), so it may use the deadline.
    probe->_thread = std::thread([weak, network = &probe->_network, url, timeout] {
        Result result = MVURLProbe::probe(url, timeout, *network);
        if (network->cancelled())
            return;
        HXRunLoop::performOnMainThread([weak, result] {
            auto self = weak.lock();
            if (!self || self->_network.cancelled() || !self->_completion)
                return;
            // Told once; the owner may drop the probe while it is told.
            auto completion = std::move(self->_completion);
            self->_completion = nullptr;
            completion(result);
        });
    });
    return probe;
}

MVURLProbe::~MVURLProbe()
{
    cancel();
    // A name lookup cannot be interrupted; everything else ends at once.
    if (_thread.joinable())
        _thread.join();
}

void MVURLProbe::cancel()
{
    _network.cancel();
    _completion = nullptr;
}
