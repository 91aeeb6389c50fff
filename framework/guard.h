#pragma once
// Every slot and event handler of the program's windows runs inside guard():
// a failure thrown in it is shown in the application's default error box
// right there, and the program goes on. Nothing is thrown through Qt's event
// dispatch, which does not allow it.
#include <cstddef>
#include <exception>
#include <tuple>
#include <type_traits>
#include <utility>

namespace ui {

// The default error box: the exception's message and a full stop, the
// application title as caption, a stop icon, one OK button.
void showError(const std::exception& exception);
// The same for something thrown that is no std::exception.
void showUnknownError();

template <class Fn> void guard(Fn&& fn) noexcept
{
    try {
        std::forward<Fn>(fn)();
    } catch (const std::exception& e) {
        showError(e);
    } catch (...) {
        showUnknownError();
    }
}

namespace detail {

// Calls FN with as many of the leading ARGS as it takes, as Qt does with a slot.
template <std::size_t N, class Fn, class Tuple> void callWithLeading(Fn& fn, Tuple& args)
{
    constexpr bool takesN = []<std::size_t... I>(std::index_sequence<I...>)
    {
        return std::is_invocable_v<Fn&, std::tuple_element_t<I, Tuple>...>;
    }
    (std::make_index_sequence<N> {});
    if constexpr (takesN)
        [&]<std::size_t... I>(std::index_sequence<I...>)
        {
            fn(std::get<I>(args)...);
        }
    (std::make_index_sequence<N> {});
    else callWithLeading<N - 1>(fn, args);
}

} // namespace detail

// FN as a slot for connect(), run inside guard() with the signal's arguments.
template <class Fn> auto guarded(Fn fn)
{
    return [fn = std::move(fn)](auto&&... args) mutable noexcept {
        guard([&] {
            auto all = std::forward_as_tuple(std::forward<decltype(args)>(args)...);
            detail::callWithLeading<sizeof...(args)>(fn, all);
        });
    };
}

} // namespace ui
