#include "host/effect.h"

#include "files/fx_bank.h"

#include "host/effect_host.h"
#include "host/library_check.h"
#include "platform/file_error.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <stdexcept>

namespace zorvil {

namespace {

// The entry names plug-ins export on Linux, in the order we look for them.
constexpr const char* kEntryNames[] = {"main", "VSTPluginMain"};

// True when `symbol` lies in the library behind `handle` itself. A handle lookup may also find
// symbols of the library's dependencies; an entry found there is not this plug-in's.
bool SymbolBelongsTo(void* handle, void* symbol) {
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        dladdr(symbol, &info) == 0 || info.dli_fname == nullptr || map->l_name == nullptr)
        return false;
    return std::strcmp(info.dli_fname, map->l_name) == 0;
}

VstPluginEntryProc FindEntry(void* handle) {
    for (const char* name : kEntryNames) {
        dlerror();
        void* symbol = dlsym(handle, name);
        if (symbol != nullptr && SymbolBelongsTo(handle, symbol))
            return reinterpret_cast<VstPluginEntryProc>(symbol);
    }
    return nullptr;
}

} // namespace

std::string_view DescribeLoadFailure(LoadFailure failure) noexcept {
    switch (failure) {
    case LoadFailure::None:
        return "";
    case LoadFailure::NoHost:
        return "no host to load into";
    case LoadFailure::LibraryRefused:
        return "the dynamic loader refused it";
    case LoadFailure::NoEntry:
        return "no entry point (neither \"main\" nor \"VSTPluginMain\")";
    case LoadFailure::NullRecord:
        return "its entry returned no plug-in";
    case LoadFailure::WrongMagic:
        return "its entry returned a record without the VST magic";
    case LoadFailure::NoMemory:
        return "no memory for its audio buffers";
    case LoadFailure::OpenFailed:
        return "it threw an exception while it was being opened";
    }
    return "unknown failure";
}

CEffect::CEffect(CEffectHost* host) noexcept : m_pHost(host) {}

CEffect::~CEffect() {
    // Non-virtual on purpose: a derived wrapper is already gone.
    CEffect::Unload();
}

void CEffect::Fail(LoadFailure failure, std::string text) {
    m_loadFailure = failure;
    m_strLoadFailure = std::string(DescribeLoadFailure(failure));
    if (!text.empty()) m_strLoadFailure += ": " + text;
}

bool CEffect::Load(std::string_view path) {
    if (m_pHost == nullptr) {
        Fail(LoadFailure::NoHost, {});
        return false;
    }
    Unload();
    m_loadFailure = LoadFailure::None;
    m_strLoadFailure.clear();

    // A bare file name means a file in the current folder, never a library the dynamic loader
    // would search for in the system's library paths.
    std::string loadPath(path);
    if (loadPath.find('/') == std::string::npos) loadPath.insert(0, "./");

    if (std::string problem = CheckLibraryFile(loadPath); !problem.empty()) {
        Fail(LoadFailure::LibraryRefused, std::move(problem));
        return false;
    }
    dlerror();
    m_hModule = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_hModule == nullptr) {
        const char* error = dlerror();
        Fail(LoadFailure::LibraryRefused, error != nullptr ? error : "");
        return false;
    }
    const VstPluginEntryProc entry = FindEntry(m_hModule);
    if (entry == nullptr) {
        Fail(LoadFailure::NoEntry, {});
        return false;
    }

    AEffect* record = nullptr;
    try {
        // The plug-in may call the host back from inside its entry; it holds no slot yet, so
        // the callback answers as for an unknown plug-in.
        record = entry(&CEffectHost::AudioMasterCallback);
    } catch (...) {
        Fail(LoadFailure::NullRecord, "the entry threw an exception");
        return false;
    }
    if (record == nullptr) {
        Fail(LoadFailure::NullRecord, {});
        return false;
    }
    if (record->magic != kEffectMagic) {
        Fail(LoadFailure::WrongMagic, {});
        return false;
    }

    m_strPath.assign(path);
    const std::size_t slash = m_strPath.rfind('/');
    if (slash != std::string::npos)
        m_strDirectory = m_strPath.substr(0, slash);
    else
        m_strDirectory.reset();
    m_pEffect.store(record, std::memory_order_release);
    return true;
}

bool CEffect::Unload() {
    if (m_pHost == nullptr) return false;
    // The record is forgotten before the plug-in closes: effClose goes out once whatever happens
    // in it, and no call of ours reaches the plug-in afterwards.
    AEffect* const effect = m_pEffect.exchange(nullptr, std::memory_order_acq_rel);
    if (effect != nullptr && effect->dispatcher != nullptr) {
        try {
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        } catch (...) {
            // The library stays loaded for good: the exception in flight and whatever the
            // plug-in left running may be its code.
            std::string path = std::move(m_strPath);
            m_hModule = nullptr;
            FreeLibrary();
            throw EffectCloseError(path);
        }
    }
    FreeLibrary();
    return true;
}

EffectCloseError::EffectCloseError(const std::string& path)
    : std::runtime_error("the plug-in " + platform::PrintablePath(path) +
                         " threw an exception while it was being closed") {}

void CEffect::FreeLibrary() noexcept {
    if (m_hModule != nullptr) {
        dlclose(m_hModule);
        m_hModule = nullptr;
    }
    m_strPath.clear();
    m_strDirectory.reset();
}

intptr_t CEffect::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    AEffect* effect = GetAEffect();
    if (effect == nullptr || effect->dispatcher == nullptr) return 0;
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void CEffect::Process(float** inputs, float** outputs, int32_t frames) {
    AEffect* effect = GetAEffect();
    if (effect != nullptr && effect->process != nullptr)
        effect->process(effect, inputs, outputs, frames);
}

void CEffect::ProcessReplacing(float** inputs, float** outputs, int32_t frames) {
    AEffect* effect = GetAEffect();
    if (effect != nullptr && (effect->flags & effFlagsCanReplacing) != 0 &&
        effect->processReplacing != nullptr)
        effect->processReplacing(effect, inputs, outputs, frames);
}

void CEffect::SetParameter(int32_t index, float value) {
    AEffect* effect = GetAEffect();
    if (effect != nullptr && effect->setParameter != nullptr)
        effect->setParameter(effect, index, value);
}

float CEffect::GetParameter(int32_t index) {
    AEffect* effect = GetAEffect();
    if (effect == nullptr || effect->getParameter == nullptr) return 0.0f;
    return effect->getParameter(effect, index);
}

const char* CEffect::GetDirectory() const {
    return m_strDirectory ? m_strDirectory->c_str() : nullptr;
}

void CEffect::OnSizeEditor(int /*width*/, int /*height*/) {}

void CEffect::OnUpdateDisplay() {}

intptr_t CEffect::DispatchString(int32_t opcode, int32_t index, std::string& text,
                                 std::size_t maxLength) {
    char buffer[kVstStringBufferSize] = {};
    const intptr_t result = Dispatch(opcode, index, 0, buffer, 0.0f);
    text.assign(buffer, strnlen(buffer, std::min(maxLength, sizeof buffer - 1)));
    return result;
}

bool CEffect::CanDo(std::string_view capability) {
    char buffer[kVstStringBufferSize] = {};
    capability.copy(buffer, std::min(capability.size(), sizeof buffer - 1));
    return Dispatch(effCanDo, 0, 0, buffer, 0.0f) > 0;
}

bool CEffect::HasFlag(int32_t flag) const noexcept {
    const AEffect* effect = GetAEffect();
    return effect != nullptr && (effect->flags & flag) != 0;
}

void CEffect::LoadBank(std::string_view path) {
    CFxBank bank;
    if (!bank.LoadFromFile(path))
        throw std::runtime_error("Bank could not be loaded: " + std::string(path));
}

} // namespace zorvil
