#pragma once
// MVAudioTempoFilter: changes the speed of sound without changing its pitch, and its pitch without
// changing its speed, through a libavfilter graph.
//
// The speed (tempo) is atempo's, chained where one stage cannot reach it; a pitch shift raises or
// lowers the sample rate (asetrate), brings it back (aresample) and makes up the speed that changed
// with it in the tempo. Frames go in and come out in the mix format; what comes out lags what went in
// by the graph's own look-ahead, and comes out at the pace of `tempo` input frames per output frame.
#include "platform/basekit/error.h"
#include "platform/mvkit/playback/audio_format.h"

#include <string>
#include <vector>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

class MVAudioTempoFilter {
public:
    explicit MVAudioTempoFilter(MVAudioFormat format);
    ~MVAudioTempoFilter();
    MVAudioTempoFilter(const MVAudioTempoFilter&) = delete;
    MVAudioTempoFilter& operator=(const MVAudioTempoFilter&) = delete;

    // The filters between input and output for `tempo` (> 0) and a shift of `cents`: the text of a
    // libavfilter chain (as the ffmpeg command line's -af takes it); empty when nothing changes.
    static std::string filterDescription(double tempo, double cents, int sampleRate);

    // Builds the graph anew (anything inside it is dropped). False, with an error, when the values
    // are out of reach or libavfilter refuses them; the filter then passes nothing.
    bool configure(double tempo, double cents, HXError* outError = nullptr);
    double tempo() const { return _tempo; }
    double cents() const { return _cents; }
    bool isConfigured() const { return _graph != nullptr; }
    // Starts again with the same settings, forgetting what is inside.
    void reset();

    // Feeds `frames` interleaved frames. False when the graph failed.
    bool push(const float* samples, int frames);
    // Appends every frame that is ready to `out` (interleaved); answers how many frames came.
    int pull(std::vector<float>& out);

private:
    void release();

    MVAudioFormat _format;
    double _tempo = 1;
    double _cents = 0;
    AVFilterGraph* _graph = nullptr;
    AVFilterContext* _source = nullptr;
    AVFilterContext* _sink = nullptr;
    AVFrame* _frame = nullptr;
    int64_t _pts = 0;
};
