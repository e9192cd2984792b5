#include "host/seq_effect.h"

#include "host/seq_host.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <new>

namespace zorvil {

namespace {

// The fault guard around unloading. A plug-in that crashes in effClose would take the process
// down with the sound devices still running; the guard's handlers shut them down first, then
// restore the default action and raise the signal again, so the crash happens as it would have.
constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// The hook of the unload in progress (unloading happens on one thread at a time).
std::atomic<const std::function<void()>*> g_unloadFaultHook{nullptr};

extern "C" void HandleUnloadFault(int signal) {
    const std::function<void()>* hook = g_unloadFaultHook.exchange(nullptr);
    if (hook != nullptr && *hook) (*hook)();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    // The signal is blocked while its handler runs: it is delivered, with the default action,
    // as soon as the handler returns. A fault raised by a faulting instruction also recurs
    // when that instruction runs again.
    raise(signal);
}

class UnloadFaultGuard {
public:
    explicit UnloadFaultGuard(const std::function<void()>* hook) {
        g_unloadFaultHook.store(hook);
        struct sigaction action {};
        action.sa_handler = HandleUnloadFault;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kGuardedSignals); ++i)
            sigaction(kGuardedSignals[i], &action, &m_previous[i]);
    }
    ~UnloadFaultGuard() {
        for (std::size_t i = 0; i < std::size(kGuardedSignals); ++i)
            sigaction(kGuardedSignals[i], &m_previous[i], nullptr);
        g_unloadFaultHook.store(nullptr);
    }
    UnloadFaultGuard(const UnloadFaultGuard&) = delete;
    UnloadFaultGuard& operator=(const UnloadFaultGuard&) = delete;

private:
    struct sigaction m_previous[std::size(kGuardedSignals)]{};
};

} // namespace

namespace {
std::atomic<uint32_t> g_nextGeneration{1};
} // namespace

CSeqEffect::CSeqEffect(CEffectHost* host) noexcept
    : CEffect(host), m_nGeneration(g_nextGeneration.fetch_add(1, std::memory_order_relaxed)) {}

CSeqEffect::~CSeqEffect() {
    {
        std::lock_guard lock(m_csLock);
        FreeBuffers();
    }
    // The base destructor unloads.
}

void CSeqEffect::FreeBuffers() noexcept {
    m_ppOutputs = nullptr;
    m_ppInputs = nullptr;
    m_nOutputs = 0;
    m_nInputs = 0;
    m_outputPointers.reset();
    m_outputStorage.clear();
    m_inputPointers.reset();
}

bool CSeqEffect::Load(std::string_view path) {
    if (!CEffect::Load(path)) return false;
    const AEffect* effect = GetAEffect();
    const int inputs = std::max(effect->numInputs, 0);
    const int outputs = std::max(effect->numOutputs, 0);
    std::lock_guard lock(m_csLock);
    FreeBuffers();
    try {
        if (inputs > 0) {
            m_inputPointers = std::make_unique<float*[]>(static_cast<std::size_t>(inputs));
            m_ppInputs = m_inputPointers.get();
            m_nInputs = inputs;
        }
        if (outputs > 0) {
            m_outputPointers = std::make_unique<float*[]>(static_cast<std::size_t>(outputs));
            m_outputStorage.reserve(static_cast<std::size_t>(outputs));
            for (int k = 0; k < outputs; ++k) {
                m_outputStorage.emplace_back(kOutputBufferFrames);
                m_outputPointers[k] = m_outputStorage.back().Data();
            }
            m_ppOutputs = m_outputPointers.get();
            m_nOutputs = outputs;
        }
    } catch (const std::bad_alloc&) {
        FreeBuffers();
        Fail(LoadFailure::NoMemory, {});
        return false;
    }
    return true;
}

bool CSeqEffect::Unload() {
    const std::function<void()>* hook = nullptr;
    if (const auto* host = dynamic_cast<const CSeqHost*>(GetHost())) hook = &host->ShutdownHook();
    UnloadFaultGuard guard(hook);
    try {
        return CEffect::Unload();
    } catch (...) {
        // A plug-in that throws while it closes is met as one that crashes: the engine and the
        // devices are shut down first, then the failure goes on to the caller.
        if (hook != nullptr && *hook) (*hook)();
        throw;
    }
}

intptr_t CSeqEffect::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return CEffect::Dispatch(opcode, index, value, ptr, opt);
}

void CSeqEffect::OnSizeEditor(int width, int height) {
    if (auto* host = dynamic_cast<CSeqHost*>(GetHost()))
        host->PostWindowEvent(*this, WindowEventKind::EditorSize, width, height);
}

void CSeqEffect::OnUpdateDisplay() {
    if (auto* host = dynamic_cast<CSeqHost*>(GetHost()))
        host->PostWindowEvent(*this, WindowEventKind::DisplayUpdate);
}

void CSeqEffect::RunProcess(int32_t frames) {
    Process(m_ppInputs, m_ppOutputs, std::clamp<int32_t>(frames, 0, kOutputBufferFrames));
}

void CSeqEffect::RunProcessReplacing(int32_t frames) {
    ProcessReplacing(m_ppInputs, m_ppOutputs, std::clamp<int32_t>(frames, 0, kOutputBufferFrames));
}

} // namespace zorvil
