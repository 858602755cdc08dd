#include "EmPulseAudioCapture.h"

#include <pulse/pulseaudio.h>

#include <optional>

namespace {

// Asking for one format lets the server convert whatever its sinks use.
constexpr int capture_rate = 44100;
constexpr int capture_channels = 2;
// Blocks of a tenth of a second: short enough to answer soon, long enough to wake rarely.
constexpr std::uint32_t block_bytes = capture_rate / 10 * capture_channels * sizeof(float);

} // namespace

// Everything below is touched on the main loop's thread, or under its lock.
struct EmPulseAudioCapture::Session
{
    std::string server;
    std::chrono::milliseconds retry_interval;
    SampleSink samples;
    StateSink states;
    std::optional<State> reported;

    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* retry = nullptr;
    std::string monitor;

    void report(State state)
    {
        if (reported != state) {
            reported = state;
            states(state);
        }
    }

    void connect()
    {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        context = pa_context_new(api, "Kestrune");
        if (!context) {
            fail();
            return;
        }
        pa_context_set_state_callback(context, &Session::on_context_state, this);
        if (pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr) < 0) {
            fail();
        }
    }

    void drop_stream()
    {
        if (stream) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
            stream = nullptr;
        }
        monitor.clear();
    }

    void drop_connection()
    {
        drop_stream();
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
    }

    // The connection is torn down later, from the retry timer: this may run inside one of its
    // own callbacks.
    void fail()
    {
        report(State::Unavailable);
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
        }
        if (stream) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_read_callback(stream, nullptr, nullptr);
        }
        if (retry) {
            return;
        }
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, static_cast<pa_usec_t>(retry_interval.count()) * PA_USEC_PER_MSEC);
        retry = api->time_new(api, &when, &Session::on_retry, this);
    }

    void cancel_retry()
    {
        if (retry) {
            pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
            api->time_free(retry);
            retry = nullptr;
        }
    }

    void ask_default_sink()
    {
        pa_operation* operation = pa_context_get_server_info(context, &Session::on_server_info, this);
        if (!operation) {
            fail();
            return;
        }
        pa_operation_unref(operation);
    }

    void record(const std::string& source)
    {
        drop_stream();
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, capture_rate, capture_channels};
        stream = pa_stream_new(context, "Key listening", &spec, nullptr);
        if (!stream) {
            fail();
            return;
        }
        monitor = source;
        pa_stream_set_state_callback(stream, &Session::on_stream_state, this);
        pa_stream_set_read_callback(stream, &Session::on_read, this);
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<std::uint32_t>(-1);
        buffer.fragsize = block_bytes;
        if (pa_stream_connect_record(stream, monitor.c_str(), &buffer, PA_STREAM_ADJUST_LATENCY) < 0) {
            fail();
        }
    }

    static void on_context_state(pa_context* context, void* data)
    {
        auto* self = static_cast<Session*>(data);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            pa_context_set_subscribe_callback(context, &Session::on_event, self);
            pa_operation* operation =
                pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr);
            if (operation) {
                pa_operation_unref(operation);
            }
            self->ask_default_sink();
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->fail();
            break;
        default:
            break;
        }
    }

    // The default sink changes with a server change event.
    static void on_event(pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* data)
    {
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER) {
            static_cast<Session*>(data)->ask_default_sink();
        }
    }

    static void on_server_info(pa_context*, const pa_server_info* info, void* data)
    {
        auto* self = static_cast<Session*>(data);
        if (!info || !info->default_sink_name || !*info->default_sink_name) {
            self->fail();
            return;
        }
        const std::string source = std::string(info->default_sink_name) + ".monitor";
        if (source != self->monitor) {
            self->record(source);
        }
    }

    static void on_stream_state(pa_stream* stream, void* data)
    {
        auto* self = static_cast<Session*>(data);
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            self->report(State::Capturing);
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            self->fail();
            break;
        default:
            break;
        }
    }

    static void on_read(pa_stream* stream, std::size_t, void* data)
    {
        auto* self = static_cast<Session*>(data);
        const void* bytes = nullptr;
        std::size_t size = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &size) == 0 &&
               size > 0) {
            // A hole in the buffer comes without bytes; it is dropped like data.
            if (bytes) {
                self->samples(static_cast<const float*>(bytes), size / (sizeof(float) * capture_channels),
                              capture_channels, capture_rate);
            }
            pa_stream_drop(stream);
        }
    }

    static void on_retry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* data)
    {
        auto* self = static_cast<Session*>(data);
        api->time_free(event);
        self->retry = nullptr;
        self->drop_connection();
        self->connect();
    }
};

EmPulseAudioCapture::EmPulseAudioCapture(std::string server, std::chrono::milliseconds retry_interval)
    : server(std::move(server))
    , retry_interval(retry_interval)
{
}

EmPulseAudioCapture::~EmPulseAudioCapture()
{
    stop();
}

void EmPulseAudioCapture::start(SampleSink samples, StateSink states)
{
    stop();
    session = std::make_unique<Session>();
    session->server = server;
    session->retry_interval = retry_interval;
    session->samples = std::move(samples);
    session->states = std::move(states);
    session->loop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(session->loop);
    pa_threaded_mainloop_lock(session->loop);
    session->connect();
    pa_threaded_mainloop_unlock(session->loop);
}

void EmPulseAudioCapture::stop()
{
    if (!session) {
        return;
    }
    pa_threaded_mainloop_lock(session->loop);
    session->cancel_retry();
    session->drop_connection();
    pa_threaded_mainloop_unlock(session->loop);
    pa_threaded_mainloop_stop(session->loop);
    pa_threaded_mainloop_free(session->loop);
    session.reset();
}
