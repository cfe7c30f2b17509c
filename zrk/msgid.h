// Typed message ids.
//
// Every message of res/messages.txt has a name; the build generates the
// header "zrk_msgids.h" with one constant MSG_<NAME> per message, whose type
// carries the message's printf signature:
//
//   inline constexpr ZrkMsg<'s', 'd'> MSG_REG_OPEN{23};
//
// The reporting functions take these constants, never bare numbers, and
// check at compile time that the arguments passed with an id fit its
// signature in count and kind; each argument is converted to the exact type
// its conversion reads before it reaches the printf machinery, so a CString
// is passed as its text, a short as an int, and a 64-bit number can never
// reach a "%d".
#pragma once

#include <type_traits>

template <char... Kinds>
struct ZrkMsg {
    int id;
    // The number, for tables of texts and for comparing with a recorded id.
    constexpr operator int() const { return id; }  // NOLINT
};

namespace zrkmsg {

template <class A>
inline constexpr bool kIntegral =
    (std::is_integral_v<A> && !std::is_same_v<A, bool>) ||
    (std::is_enum_v<A> && std::is_convertible_v<A, int>);  // unscoped enums

// What each signature letter accepts, and the type it passes on.
template <char K>
struct Arg;

template <>
struct Arg<'s'> {
    template <class A>
    static constexpr bool kFits = std::is_convertible_v<const A&, const char*>;
    static const char* Pass(const char* s) { return s; }
};

template <>
struct Arg<'d'> {
    template <class A>
    static constexpr bool kFits = kIntegral<A> && sizeof(A) <= sizeof(int);
    template <class A>
    static int Pass(A a) { return static_cast<int>(a); }
};

template <>
struct Arg<'c'> : Arg<'d'> {};

template <>
struct Arg<'u'> {
    template <class A>
    static constexpr bool kFits = kIntegral<A> && sizeof(A) <= sizeof(unsigned);
    template <class A>
    static unsigned Pass(A a) { return static_cast<unsigned>(a); }
};

template <>
struct Arg<'x'> : Arg<'u'> {};

template <>
struct Arg<'l'> {
    template <class A>
    static constexpr bool kFits = kIntegral<A> && sizeof(A) <= sizeof(long);
    template <class A>
    static long Pass(A a) { return static_cast<long>(a); }
};

template <>
struct Arg<'f'> {
    template <class A>
    static constexpr bool kFits = std::is_arithmetic_v<A> && !std::is_same_v<A, bool>;
    template <class A>
    static double Pass(A a) { return static_cast<double>(a); }
};

// Whether the arguments A... fit the signature K...: count first, so that a
// wrong count gives its own message before the kinds are compared.
template <class Msg, class... A>
struct Fits;

template <char... K, class... A>
struct Fits<ZrkMsg<K...>, A...> {
    static constexpr bool kCount = sizeof...(K) == sizeof...(A);
    static constexpr bool Kinds() {
        if constexpr (kCount) {
            return (Arg<K>::template kFits<std::decay_t<A>> && ...);
        } else {
            return false;
        }
    }
};

}  // namespace zrkmsg

// Checks ARGS against the signature of MSG; used by every function that takes
// a message id with its arguments.
#define ZRK_CHECK_MESSAGE_ARGS(Msg, Args)                                                       \
    static_assert(zrkmsg::Fits<Msg, Args...>::kCount,                                           \
                  "this message takes another number of arguments (see res/messages.txt)");     \
    static_assert(!zrkmsg::Fits<Msg, Args...>::kCount || zrkmsg::Fits<Msg, Args...>::Kinds(),   \
                  "an argument does not fit the message's signature (see res/messages.txt)")

// The arguments converted to the types that the signature's conversions read.
#define ZRK_PASS_MESSAGE_ARGS(Kinds, args) zrkmsg::Arg<Kinds>::Pass(args)...
