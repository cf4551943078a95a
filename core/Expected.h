#pragma once
// A value or the reason there is none: the part of C++23's std::expected this code uses, written
// here because one of its toolchains (emscripten's libc++ 13) has no <expected>. The same type on
// every build, so every build runs the code its tests ran. It never throws.

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace tazel {

// clang-format 14 lays requires clauses out as expressions.
// clang-format off

template <typename E>
class Unexpected {
public:
    template <typename G = E>
        requires std::is_constructible_v<E, G&&>
    explicit Unexpected(G&& error) : error_(std::forward<G>(error))
    {
    }

    [[nodiscard]] E& error() & noexcept { return error_; }
    [[nodiscard]] const E& error() const& noexcept { return error_; }
    [[nodiscard]] E&& error() && noexcept { return std::move(error_); }

private:
    E error_;
};

template <typename E>
Unexpected(E) -> Unexpected<E>;

template <typename T, typename E>
class Expected {
public:
    using value_type = T;
    using error_type = E;

    Expected()
        requires std::is_default_constructible_v<T>
        : Expected(T())
    {
    }

    template <typename U = T>
        requires(std::is_constructible_v<T, U &&> &&
                 !std::is_same_v<std::remove_cvref_t<U>, Expected> &&
                 !std::is_same_v<std::remove_cvref_t<U>, Unexpected<E>>)
    Expected(U&& value) : has_(true)
    {
        std::construct_at(&value_, std::forward<U>(value));
    }

    template <typename G>
        requires std::is_constructible_v<E, const G&>
    Expected(const Unexpected<G>& error) : has_(false)
    {
        std::construct_at(&error_, error.error());
    }

    template <typename G>
        requires std::is_constructible_v<E, G &&>
    Expected(Unexpected<G>&& error) : has_(false)
    {
        std::construct_at(&error_, std::move(error).error());
    }

    Expected(const Expected& other)
        requires(std::is_copy_constructible_v<T> && std::is_copy_constructible_v<E>)
        : has_(other.has_)
    {
        if (has_)
            std::construct_at(&value_, other.value_);
        else
            std::construct_at(&error_, other.error_);
    }

    Expected(Expected&& other) noexcept(std::is_nothrow_move_constructible_v<T> &&
                                        std::is_nothrow_move_constructible_v<E>)
        : has_(other.has_)
    {
        if (has_)
            std::construct_at(&value_, std::move(other.value_));
        else
            std::construct_at(&error_, std::move(other.error_));
    }

    Expected& operator=(const Expected& other)
        requires(std::is_copy_constructible_v<T> && std::is_copy_constructible_v<E>)
    {
        if (this != &other) {
            Destroy();
            std::construct_at(this, other);
        }
        return *this;
    }

    Expected& operator=(Expected&& other) noexcept(std::is_nothrow_move_constructible_v<T> &&
                                                   std::is_nothrow_move_constructible_v<E>)
    {
        if (this != &other) {
            Destroy();
            std::construct_at(this, std::move(other));
        }
        return *this;
    }

    ~Expected() { Destroy(); }

    [[nodiscard]] bool has_value() const noexcept { return has_; }
    explicit operator bool() const noexcept { return has_; }

    [[nodiscard]] T& operator*() & noexcept { return value_; }
    [[nodiscard]] const T& operator*() const& noexcept { return value_; }
    [[nodiscard]] T&& operator*() && noexcept { return std::move(value_); }
    [[nodiscard]] T* operator->() noexcept { return &value_; }
    [[nodiscard]] const T* operator->() const noexcept { return &value_; }

    [[nodiscard]] E& error() & noexcept { return error_; }
    [[nodiscard]] const E& error() const& noexcept { return error_; }
    [[nodiscard]] E&& error() && noexcept { return std::move(error_); }

    template <typename U>
    [[nodiscard]] T value_or(U&& fallback) const&
    {
        return has_ ? value_ : static_cast<T>(std::forward<U>(fallback));
    }
    template <typename U>
    [[nodiscard]] T value_or(U&& fallback) &&
    {
        return has_ ? std::move(value_) : static_cast<T>(std::forward<U>(fallback));
    }

private:
    void Destroy() noexcept
    {
        if (has_)
            std::destroy_at(&value_);
        else
            std::destroy_at(&error_);
    }

    union {
        T value_;
        E error_;
    };
    bool has_;
};

template <typename E>
class Expected<void, E> {
public:
    using value_type = void;
    using error_type = E;

    Expected() noexcept = default;

    template <typename G>
        requires std::is_constructible_v<E, const G&>
    Expected(const Unexpected<G>& error) : error_(std::in_place, error.error())
    {
    }

    template <typename G>
        requires std::is_constructible_v<E, G &&>
    Expected(Unexpected<G>&& error) : error_(std::in_place, std::move(error).error())
    {
    }

    [[nodiscard]] bool has_value() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return has_value(); }

    [[nodiscard]] E& error() & noexcept { return *error_; }
    [[nodiscard]] const E& error() const& noexcept { return *error_; }
    [[nodiscard]] E&& error() && noexcept { return std::move(*error_); }

private:
    std::optional<E> error_; // empty on success
};

// clang-format on

} // namespace tazel
