#include "platform/mvkit/playback/audio_tempo_filter.h"

#include "platform/mvkit/playback/decoder_configuration.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// A number as libavfilter reads it, whatever the locale.
std::string number(double value)
{
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 10);
    return std::string(text, result.ptr);
}

// atempo takes 0.5 … 100 in one stage; beyond that the stages multiply.
void appendTempo(std::string& chain, double factor)
{
    if (std::abs(factor - 1.0) < 1e-9)
        return;
    auto add = [&](double f) {
        if (!chain.empty())
            chain += ',';
        chain += "atempo=" + number(f);
    };
    while (factor < 0.5) {
        add(0.5);
        factor /= 0.5;
    }
    while (factor > 100) {
        add(100);
        factor /= 100;
    }
    add(factor);
}

std::string layoutName(int channels)
{
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    char name[64] = {};
    av_channel_layout_describe(&layout, name, sizeof name);
    av_channel_layout_uninit(&layout);
    return name;
}

HXError filterError(const std::string& text)
{
    return HXError::withDescription(HXOSStatusErrorDomain, MVStatusCodecError, text);
}

} // namespace

MVAudioTempoFilter::MVAudioTempoFilter(MVAudioFormat format)
    : _format(format)
{
}

MVAudioTempoFilter::~MVAudioTempoFilter()
{
    release();
}

void MVAudioTempoFilter::release()
{
    avfilter_graph_free(&_graph);
    _source = _sink = nullptr;
    av_frame_free(&_frame);
    _pts = 0;
}

std::string MVAudioTempoFilter::filterDescription(double tempo, double cents, int sampleRate)
{
    std::string chain;
    double factor = tempo;
    if (std::abs(cents) >= 0.01) {
        // Played at a rate `shifted`/`sampleRate` faster the sound rises by the cents; resampled back,
        // it runs that much faster, which the tempo makes up.
        const long shifted = std::lround(sampleRate * std::exp2(cents / 1200.0));
        chain = "asetrate=" + std::to_string(shifted) + ",aresample=" + std::to_string(sampleRate);
        factor = tempo * double(sampleRate) / double(shifted);
    }
    appendTempo(chain, factor);
    return chain;
}

bool MVAudioTempoFilter::configure(double tempo, double cents, HXError* outError)
{
    release();
    _tempo = tempo;
    _cents = cents;
    auto fail = [&](const std::string& text) {
        release();
        if (outError)
            *outError = filterError(text);
        return false;
    };
    if (!std::isfinite(tempo) || tempo <= 0 || !std::isfinite(cents) || std::abs(cents) > 2400)
        return fail("The sound cannot play at this speed and pitch.");
    if (_format.sampleRate < 1 || _format.channelCount < 1)
        return fail("The sound format is not valid.");

    const std::string layout = layoutName(_format.channelCount);
    const std::string rate = std::to_string(_format.sampleRate);
    std::string chain = filterDescription(tempo, cents, _format.sampleRate);
    if (chain.empty())
        chain = "anull";
    chain += ",aformat=sample_fmts=flt:sample_rates=" + rate + ":channel_layouts=" + layout;

    _graph = avfilter_graph_alloc();
    _frame = av_frame_alloc();
    if (!_graph || !_frame)
        return fail("Out of memory for the sound filters.");
    _graph->nb_threads = 1;
    const std::string sourceArgs
        = "sample_rate=" + rate + ":sample_fmt=flt:channel_layout=" + layout + ":time_base=1/" + rate;
    if (avfilter_graph_create_filter(
            &_source, avfilter_get_by_name("abuffer"), "in", sourceArgs.c_str(), nullptr, _graph)
            < 0
        || avfilter_graph_create_filter(
               &_sink, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, _graph)
            < 0)
        return fail("The sound filters cannot be made.");

    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    int status = -1;
    if (outputs && inputs) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = _source;
        outputs->pad_idx = 0;
        outputs->next = nullptr;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = _sink;
        inputs->pad_idx = 0;
        inputs->next = nullptr;
        status = avfilter_graph_parse_ptr(_graph, chain.c_str(), &inputs, &outputs, nullptr);
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (status < 0 || avfilter_graph_config(_graph, nullptr) < 0)
        return fail("The sound filters refuse this speed and pitch.");
    return true;
}

void MVAudioTempoFilter::reset()
{
    if (_graph)
        configure(_tempo, _cents);
}

bool MVAudioTempoFilter::push(const float* samples, int frames)
{
    if (!_graph || frames <= 0)
        return _graph != nullptr;
    AVFrame* frame = av_frame_alloc();
    if (!frame)
        return false;
    frame->format = AV_SAMPLE_FMT_FLT;
    frame->sample_rate = _format.sampleRate;
    frame->nb_samples = frames;
    av_channel_layout_default(&frame->ch_layout, _format.channelCount);
    bool ok = av_frame_get_buffer(frame, 0) >= 0;
    if (ok) {
        std::memcpy(frame->data[0], samples, size_t(frames) * size_t(_format.channelCount) * sizeof(float));
        frame->pts = _pts;
        _pts += frames;
        ok = av_buffersrc_add_frame(_source, frame) >= 0;
    }
    av_frame_free(&frame);
    return ok;
}

int MVAudioTempoFilter::pull(std::vector<float>& out)
{
    if (!_graph)
        return 0;
    int total = 0;
    const size_t channels = size_t(_format.channelCount);
    while (av_buffersink_get_frame(_sink, _frame) >= 0) {
        const auto* samples = reinterpret_cast<const float*>(_frame->data[0]);
        out.insert(out.end(), samples, samples + size_t(_frame->nb_samples) * channels);
        total += _frame->nb_samples;
        av_frame_unref(_frame);
    }
    return total;
}
