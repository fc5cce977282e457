// The component model's base interfaces and the holders that hide reference counting.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

struct IUnknown {
    static constexpr IID iid{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

// Smart pointer to an interface that hides AddRef and Release: every holder owns one reference,
// taken when it is made from a raw pointer or copied, released once when it lets go; a move
// hands the reference over.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Shares `raw`: takes a reference of its own.
    explicit ComPtr(T* raw) : m_raw(raw) {
        if (m_raw) m_raw->AddRef();
    }
    // Shares what `other` holds, with a reference of its own.
    ComPtr(const ComPtr& other) : ComPtr(other.m_raw) {}
    ComPtr(ComPtr&& other) noexcept : m_raw(std::exchange(other.m_raw, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_raw, other.m_raw);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference that the caller already holds (a fresh object, an out-parameter).
    static ComPtr attach(T* raw) {
        ComPtr p;
        p.m_raw = raw;
        return p;
    }
    void reset() {
        if (auto* raw = std::exchange(m_raw, nullptr)) raw->Release();
    }
    // The address of the pointer for an out-parameter; releases what was held.
    T** put() {
        reset();
        return &m_raw;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    T* get() const { return m_raw; }
    T* operator->() const { return m_raw; }
    explicit operator bool() const { return m_raw != nullptr; }

    // QueryInterface for another interface; empty when the object does not have it.
    template <typename U>
    ComPtr<U> as() const {
        ComPtr<U> other;
        if (m_raw) m_raw->QueryInterface(U::iid, other.put_void());
        return other;
    }

  private:
    T* m_raw = nullptr;
};

// Reference count of an object that lives on the heap and deletes itself at zero.
class RefCount {
  public:
    ULONG add() { return ++m_count; }
    ULONG release() { return --m_count; }

  private:
    std::atomic<ULONG> m_count{1};
};

// The IUnknown of an object that implements the given interfaces: the interface lookup (IUnknown
// answered by the first) and a reference count that deletes the object when the last reference
// goes.
template <typename First, typename... Rest>
class ComObject : public First, public Rest... {
  public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IUnknown::iid || riid == First::iid)
            *object = static_cast<First*>(this);
        else
            (void)((riid == Rest::iid && (*object = static_cast<Rest*>(this))) || ...);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_refs.add(); }
    ULONG Release() override {
        const ULONG left = m_refs.release();
        if (left == 0) delete this;
        return left;
    }

  protected:
    virtual ~ComObject() = default;

  private:
    RefCount m_refs;
};

// Creates a reference-counted object; the result holds its only reference.
template <typename T, typename... Args>
ComPtr<T> make_com(Args&&... args) {
    return ComPtr<T>::attach(new T(std::forward<Args>(args)...));
}

// Counts the live objects and server locks of one loadable module, for DllCanUnloadNow.
class ComModule {
  public:
    void object_created() { ++m_objects; }
    void object_destroyed() { --m_objects; }
    void lock(bool on) { on ? ++m_locks : --m_locks; }
    bool can_unload() const { return m_objects == 0 && m_locks == 0; }
    long objects() const { return m_objects; }

  private:
    std::atomic<long> m_objects{0};
    std::atomic<long> m_locks{0};
};
