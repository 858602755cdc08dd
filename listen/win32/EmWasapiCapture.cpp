#include "EmWasapiCapture.h"

#include "EmLoopbackPlan.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <objidl.h>
#include <propidl.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// Debian's MinGW-w64 headers lack audioclientactivationparams.h; these are its documented types.
enum AUDIOCLIENT_ACTIVATION_TYPE
{
    AUDIOCLIENT_ACTIVATION_TYPE_DEFAULT = 0,
    AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK = 1
};
enum PROCESS_LOOPBACK_MODE
{
    PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE = 0,
    PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE = 1
};
struct AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS
{
    DWORD TargetProcessId;
    PROCESS_LOOPBACK_MODE ProcessLoopbackMode;
};
struct AUDIOCLIENT_ACTIVATION_PARAMS
{
    AUDIOCLIENT_ACTIVATION_TYPE ActivationType;
    union {
        AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS ProcessLoopbackParams;
    };
};
constexpr const wchar_t* VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK = L"VAD\\Process_Loopback";

constexpr REFERENCE_TIME buffer_duration = 2000000; // 200 ms, in units of 100 ns
constexpr auto poll_interval = std::chrono::milliseconds(50);
constexpr auto device_check_interval = std::chrono::seconds(1);
// The process capture has no mix format to ask for, so it is given one that the audio engine
// converts to (AUTOCONVERTPCM): 16-bit stereo at 44.1 kHz, the format documented for it, and more
// than the detector needs, which mixes to mono and resamples to 11 kHz.
constexpr WORD process_channels = 2;
constexpr DWORD process_rate = 44100;

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

// The build number of Windows 10 and later, else 0. Asked of ntdll, since GetVersionEx answers
// only up to the newest version the program's manifest names.
std::uint32_t system_build()
{
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC procedure = ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (!procedure) {
        return 0;
    }
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    const auto get_version = reinterpret_cast<GetVersion>(reinterpret_cast<void*>(procedure));
    if (get_version(&version) != 0 || version.dwMajorVersion < 10) {
        return 0;
    }
    return version.dwBuildNumber;
}

// Looked up when first needed: mmdevapi.dll exports it from Windows 8 on, and importing it would
// keep the program from starting on older systems. Null where it is missing.
using ActivateAsync = HRESULT(WINAPI*)(LPCWSTR, REFIID, PROPVARIANT*,
                                       IActivateAudioInterfaceCompletionHandler*,
                                       IActivateAudioInterfaceAsyncOperation**);
ActivateAsync activate_async()
{
    static const ActivateAsync found = []() -> ActivateAsync {
        const HMODULE module = LoadLibraryW(L"mmdevapi.dll");
        const FARPROC procedure = module ? GetProcAddress(module, "ActivateAudioInterfaceAsync") : nullptr;
        return procedure ? reinterpret_cast<ActivateAsync>(reinterpret_cast<void*>(procedure)) : nullptr;
    }();
    return found;
}

// Told by the system on a thread of its choosing when an activation completed. Agile, so that
// the system calls it there rather than marshal the call to the activating thread, which is busy
// waiting for it. Lives as long as the system or the waiting thread holds it.
class ActivationDone final : public IActivateAudioInterfaceCompletionHandler, public IAgileObject
{
public:
    ActivationDone()
        : done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ActivationDone(const ActivationDone&) = delete;
    ActivationDone& operator=(const ActivationDone&) = delete;

    HANDLE event() const { return done; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        if (IsEqualIID(id, __uuidof(IUnknown)) ||
            IsEqualIID(id, __uuidof(IActivateAudioInterfaceCompletionHandler))) {
            *object = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
        } else if (IsEqualIID(id, __uuidof(IAgileObject))) {
            *object = static_cast<IAgileObject*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE ActivateCompleted(IActivateAudioInterfaceAsyncOperation*) override
    {
        SetEvent(done);
        return S_OK;
    }

private:
    ~ActivationDone()
    {
        if (done) {
            CloseHandle(done);
        }
    }

    std::atomic<ULONG> references{1};
    const HANDLE done;
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

// One opened loopback stream: of one process tree, or of everything one device plays.
struct Loopback
{
    // Empty for a process's capture, which no device change concerns.
    std::wstring device_id;
    SampleFormat format;
    ComPtr<IAudioClient> client;
    ComPtr<IAudioCaptureClient> capture;
    HANDLE packets = nullptr;

    ~Loopback() { close(); }

    // Waits for the system's answer until the timeout or until `stopping` says so; false when
    // the system offers no process capture, refuses it or does not answer in time.
    bool open_process(std::uint32_t process_id, std::chrono::milliseconds timeout,
                      const std::function<bool()>& stopping)
    {
        AUDIOCLIENT_ACTIVATION_PARAMS parameters{};
        parameters.ActivationType = AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK;
        parameters.ProcessLoopbackParams.TargetProcessId = process_id;
        parameters.ProcessLoopbackParams.ProcessLoopbackMode =
            PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE;
        PROPVARIANT activation{};
        activation.vt = VT_BLOB;
        activation.blob.cbSize = sizeof(parameters);
        activation.blob.pBlobData = reinterpret_cast<BYTE*>(&parameters);

        const ActivateAsync activate = activate_async();
        auto* done = new ActivationDone;
        ComPtr<IActivateAudioInterfaceAsyncOperation> operation;
        bool completed = false;
        if (activate && done->event() &&
            SUCCEEDED(activate(VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK, __uuidof(IAudioClient), &activation,
                               done, operation.out()))) {
            const auto deadline = std::chrono::steady_clock::now() + timeout;
            while (!completed && !stopping() && std::chrono::steady_clock::now() < deadline) {
                completed = WaitForSingleObject(done->event(), static_cast<DWORD>(poll_interval.count())) ==
                            WAIT_OBJECT_0;
            }
        }
        // An activation that answers later finds nobody waiting and is dropped.
        done->Release();
        HRESULT activated = E_FAIL;
        ComPtr<IUnknown> result;
        if (!completed || FAILED(operation->GetActivateResult(&activated, result.out())) ||
            FAILED(activated) || !result ||
            FAILED(result->QueryInterface(__uuidof(IAudioClient), reinterpret_cast<void**>(client.out())))) {
            return false;
        }
        WAVEFORMATEX wanted{};
        wanted.wFormatTag = WAVE_FORMAT_PCM;
        wanted.nChannels = process_channels;
        wanted.nSamplesPerSec = process_rate;
        wanted.wBitsPerSample = 16;
        wanted.nBlockAlign = static_cast<WORD>(wanted.nChannels * wanted.wBitsPerSample / 8);
        wanted.nAvgBytesPerSec = wanted.nSamplesPerSec * wanted.nBlockAlign;
        // Event-driven as every documented use of this client is; the event is not waited on, the
        // packets are taken on the same poll as the output's.
        packets = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!packets ||
            FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                      AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                          AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                          AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                      buffer_duration, 0, &wanted, nullptr)) ||
            FAILED(client->SetEventHandle(packets))) {
            return false;
        }
        format = SampleFormat{process_channels, static_cast<int>(process_rate), false};
        return start();
    }

    bool open_output(IMMDeviceEnumerator* devices)
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
        return start();
    }

    bool start()
    {
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
        if (packets) {
            CloseHandle(packets);
            packets = nullptr;
        }
    }
};

} // namespace

EmWasapiCapture::EmWasapiCapture(std::chrono::milliseconds retry_interval,
                                 std::chrono::milliseconds activation_timeout, std::uint32_t windows_build)
    : retry_interval(retry_interval)
    , activation_timeout(activation_timeout)
    , windows_build(windows_build)
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

void EmWasapiCapture::follow_process(std::uint32_t process_id)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (process_id == followed) {
            return;
        }
        followed = process_id;
        reopen = true;
    }
    wake.notify_all();
}

bool EmWasapiCapture::pause(std::chrono::milliseconds time)
{
    std::unique_lock<std::mutex> guard(lock);
    wake.wait_for(guard, time, [this] { return stopping || reopen; });
    return !stopping;
}

bool EmWasapiCapture::stop_requested()
{
    std::lock_guard<std::mutex> guard(lock);
    return stopping;
}

std::uint32_t EmWasapiCapture::take_followed()
{
    std::lock_guard<std::mutex> guard(lock);
    reopen = false;
    return followed;
}

bool EmWasapiCapture::follow_changed()
{
    std::lock_guard<std::mutex> guard(lock);
    return reopen;
}

void EmWasapiCapture::run(const SampleSink& samples, const StateSink& states)
{
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EmLoopbackPlan plan(windows_build != 0 ? windows_build : system_build());
    std::optional<State> reported;
    const auto report = [&](State state) {
        if (reported != state) {
            reported = state;
            states(state);
        }
    };
    std::vector<float> converted;
    do {
        const std::uint32_t process_id = take_followed();
        ComPtr<IMMDeviceEnumerator> devices;
        Loopback loopback;
        bool opened = false;
        if (com && plan.next(process_id) == EmLoopbackPlan::Source::Process) {
            opened =
                loopback.open_process(process_id, activation_timeout, [this] { return stop_requested(); });
            if (!opened) {
                if (stop_requested()) {
                    break;
                }
                loopback.close();
                plan.refused(process_id);
            }
        }
        if (!opened) {
            opened = com &&
                     SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                                __uuidof(IMMDeviceEnumerator),
                                                reinterpret_cast<void**>(devices.out()))) &&
                     loopback.open_output(devices.operator->());
        }
        if (!opened) {
            loopback.close();
            report(State::Unavailable);
            continue;
        }
        report(State::Capturing);
        auto next_check = std::chrono::steady_clock::now() + device_check_interval;
        while (pause(poll_interval) && !follow_changed()) {
            if (!loopback.drain(samples, converted)) {
                break;
            }
            if (!loopback.device_id.empty() && std::chrono::steady_clock::now() >= next_check) {
                next_check += device_check_interval;
                if (default_device_id(devices.operator->()) != loopback.device_id) {
                    break;
                }
            }
        }
        loopback.close();
        // A new default device or process is opened at once; a failed one after the retry
        // interval.
    } while (pause(reported == State::Unavailable ? retry_interval : std::chrono::milliseconds(0)));
    if (com) {
        CoUninitialize();
    }
}
