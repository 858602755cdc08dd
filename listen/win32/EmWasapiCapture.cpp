#include "EmWasapiCapture.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr REFERENCE_TIME buffer_duration = 2000000; // 200 ms, in units of 100 ns
constexpr auto poll_interval = std::chrono::milliseconds(50);
constexpr auto device_check_interval = std::chrono::seconds(1);

template <typename T>
class ComPtr
{
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T** out()
    {
        reset();
        return &pointer;
    }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    void reset()
    {
        if (pointer) {
            pointer->Release();
            pointer = nullptr;
        }
    }

private:
    T* pointer = nullptr;
};

// The default render device's id; empty when there is none.
std::wstring default_device_id(IMMDeviceEnumerator* devices)
{
    ComPtr<IMMDevice> device;
    if (FAILED(devices->GetDefaultAudioEndpoint(eRender, eConsole, device.out()))) {
        return {};
    }
    LPWSTR id = nullptr;
    if (FAILED(device->GetId(&id))) {
        return {};
    }
    std::wstring copy(id);
    CoTaskMemFree(id);
    return copy;
}

// The shared-mode mix format as the samples come: 32-bit floats or 16-bit integers.
struct SampleFormat
{
    int channels = 0;
    int rate = 0;
    bool floats = false;
};

std::optional<SampleFormat> sample_format(const WAVEFORMATEX* format)
{
    SampleFormat result{format->nChannels, static_cast<int>(format->nSamplesPerSec), false};
    WORD tag = format->wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= 22) {
        const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        // The sub-format GUIDs of the wave formats are the format tag followed by one fixed tail.
        GUID base = extensible->SubFormat;
        base.Data1 = 0;
        const GUID wave_tail = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
        tag = IsEqualGUID(base, wave_tail) ? static_cast<WORD>(extensible->SubFormat.Data1) : 0;
    }
    if (tag == WAVE_FORMAT_IEEE_FLOAT && format->wBitsPerSample == 32) {
        result.floats = true;
    } else if (tag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16) {
        return std::nullopt;
    }
    if (result.channels <= 0 || result.rate <= 0) {
        return std::nullopt;
    }
    return result;
}

// One opened loopback stream on one device.
struct Loopback
{
    std::wstring device_id;
    SampleFormat format;
    ComPtr<IAudioClient> client;
    ComPtr<IAudioCaptureClient> capture;

    bool open(IMMDeviceEnumerator* devices)
    {
        ComPtr<IMMDevice> device;
        if (FAILED(devices->GetDefaultAudioEndpoint(eRender, eConsole, device.out()))) {
            return false;
        }
        LPWSTR id = nullptr;
        if (FAILED(device->GetId(&id))) {
            return false;
        }
        device_id = id;
        CoTaskMemFree(id);
        if (FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(client.out())))) {
            return false;
        }
        WAVEFORMATEX* mix = nullptr;
        if (FAILED(client->GetMixFormat(&mix))) {
            return false;
        }
        const std::optional<SampleFormat> known = sample_format(mix);
        const HRESULT initialised =
            known ? client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                       buffer_duration, 0, mix, nullptr)
                  : E_FAIL;
        CoTaskMemFree(mix);
        if (FAILED(initialised)) {
            return false;
        }
        format = *known;
        return SUCCEEDED(client->GetService(__uuidof(IAudioCaptureClient),
                                            reinterpret_cast<void**>(capture.out()))) &&
               SUCCEEDED(client->Start());
    }

    // Hands over every packet that is ready; false when the device failed or went away.
    bool drain(const EmAudioCapture::SampleSink& sink, std::vector<float>& converted)
    {
        UINT32 packet = 0;
        while (true) {
            if (FAILED(capture->GetNextPacketSize(&packet))) {
                return false;
            }
            if (packet == 0) {
                return true;
            }
            BYTE* data = nullptr;
            UINT32 frames = 0;
            DWORD flags = 0;
            if (FAILED(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) {
                return false;
            }
            const std::size_t count =
                static_cast<std::size_t>(frames) * static_cast<std::size_t>(format.channels);
            converted.assign(count, 0.0f);
            if (!(flags & AUDCLNT_BUFFERFLAGS_SILENT)) {
                if (format.floats) {
                    const auto* samples = reinterpret_cast<const float*>(data);
                    converted.assign(samples, samples + count);
                } else {
                    const auto* samples = reinterpret_cast<const std::int16_t*>(data);
                    for (std::size_t i = 0; i < count; ++i) {
                        converted[i] = static_cast<float>(samples[i]) / 32768.0f;
                    }
                }
            }
            capture->ReleaseBuffer(frames);
            sink(converted.data(), frames, format.channels, format.rate);
        }
    }

    void close()
    {
        if (client) {
            client->Stop();
        }
        capture.reset();
        client.reset();
    }
};

} // namespace

EmWasapiCapture::EmWasapiCapture(std::chrono::milliseconds retry_interval)
    : retry_interval(retry_interval)
{
}

EmWasapiCapture::~EmWasapiCapture()
{
    stop();
}

void EmWasapiCapture::start(SampleSink samples, StateSink states)
{
    stop();
    stopping = false;
    worker = std::thread(
        [this, samples = std::move(samples), states = std::move(states)] { run(samples, states); });
}

void EmWasapiCapture::stop()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable()) {
        worker.join();
    }
}

bool EmWasapiCapture::pause(std::chrono::milliseconds time)
{
    std::unique_lock<std::mutex> guard(lock);
    return !wake.wait_for(guard, time, [this] { return stopping; });
}

void EmWasapiCapture::run(const SampleSink& samples, const StateSink& states)
{
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    std::optional<State> reported;
    const auto report = [&](State state) {
        if (reported != state) {
            reported = state;
            states(state);
        }
    };
    std::vector<float> converted;
    do {
        ComPtr<IMMDeviceEnumerator> devices;
        Loopback loopback;
        if (!com ||
            FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                    __uuidof(IMMDeviceEnumerator),
                                    reinterpret_cast<void**>(devices.out()))) ||
            !loopback.open(devices.operator->())) {
            loopback.close();
            report(State::Unavailable);
            continue;
        }
        report(State::Capturing);
        auto next_check = std::chrono::steady_clock::now() + device_check_interval;
        while (pause(poll_interval)) {
            if (!loopback.drain(samples, converted)) {
                break;
            }
            if (std::chrono::steady_clock::now() >= next_check) {
                next_check += device_check_interval;
                if (default_device_id(devices.operator->()) != loopback.device_id) {
                    break;
                }
            }
        }
        loopback.close();
        // A new default device is opened at once; a failed one after the retry interval.
    } while (pause(reported == State::Unavailable ? retry_interval : std::chrono::milliseconds(0)));
    if (com) {
        CoUninitialize();
    }
}
