// Counted references. Every framework object the programs touch is held
// through a Ref; using a nil Ref as an object throws NilObjectException
// instead of crashing.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>

namespace vela {

class NilObjectException : public std::runtime_error {
public:
    NilObjectException() : std::runtime_error("NilObjectException") {}
};

class IllegalCastException : public std::runtime_error {
public:
    explicit IllegalCastException(const std::string& what)
        : std::runtime_error("IllegalCastException: " + what) {}
};

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(std::shared_ptr<T> p) : p_(std::move(p)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& other) : p_(other.shared()) {}

    T* operator->() const { return &**this; }
    T& operator*() const
    {
        if (!p_)
            throw NilObjectException();
        return *p_;
    }
    T* get() const { return p_.get(); }
    const std::shared_ptr<T>& shared() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool IsNil() const { return p_ == nullptr; }
    template <class U>
    bool operator==(const Ref<U>& other) const { return p_.get() == other.get(); }
    bool operator==(std::nullptr_t) const { return p_ == nullptr; }

private:
    std::shared_ptr<T> p_;
};

template <class T, class... Args>
Ref<T> New(Args&&... args)
{
    return Ref<T>(std::make_shared<T>(std::forward<Args>(args)...));
}

// The object typed as T, after a test that it is one. A nil object stays nil.
template <class T, class U>
Ref<T> RuntimeCheckCast(const Ref<U>& object)
{
    if (!object)
        return Ref<T>();
    // The exact class is the common case and needs no walk of the class tree.
    if (typeid(*object.get()) == typeid(T))
        return Ref<T>(std::static_pointer_cast<T>(object.shared()));
    auto cast = std::dynamic_pointer_cast<T>(object.shared());
    if (!cast)
        throw IllegalCastException(typeid(*object.get()).name());
    return Ref<T>(cast);
}

} // namespace vela
