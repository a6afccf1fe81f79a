// Wrappers between CPython's fast-call convention and the models: bind the
// arguments, convert them, call the model and convert its result.  Each runs
// inside the failure boundary (binding/error.hpp).
#include "wrappers.hpp"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/args.hpp"
#include "binding/error.hpp"
#include "lib/models.hpp"

namespace halomag {
namespace {

using binding::bind;
using binding::extract_double;
using binding::extract_vector;
using binding::FunctionDescription;
using binding::PyErrValue;
using binding::PyResult;

#define HALOMAG_TRY(var, expr)                                   \
    auto var = (expr);                                           \
    if (!var) return std::unexpected(std::move(var.error()))

constexpr std::string_view L_RE_RSTAR[] = {"l", "re", "rstar"};
constexpr std::string_view L_R_RE_RSTAR[] = {"l", "r", "re", "rstar"};
constexpr std::string_view L_RE_RSTAR_BL_BF[] = {"l", "re", "rstar", "bl", "bf"};

constexpr FunctionDescription describe(std::string_view name,
                                       std::span<const std::string_view> parameters) {
    return FunctionDescription{.name = name,
                               .parameters = parameters,
                               .positional_only = 0,
                               .required_positional = parameters.size()};
}

// Model errors (elliptic-integral messages) become RuntimeError.
PyErrValue model_error(const Error& error) {
    return PyErrValue::lazy(PyErrValue::Kind::RuntimeError, std::string(error.message));
}

PyResult<PyObject*> finish(const models::Magnifications& result) {
    if (!result) return std::unexpected(model_error(result.error()));
    return binding::to_list(*result);
}

// (l, re, rstar) with l a sequence.
struct SeparationArgs {
    std::vector<double> l;
    double re;
    double rstar;
};

PyResult<SeparationArgs> separation_args(const FunctionDescription& function, PyObject* const* args,
                                         Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> slots{};
    HALOMAG_TRY(bound, bind(function, args, nargs, kwnames, slots));
    HALOMAG_TRY(l, extract_vector("l", slots[0]));
    HALOMAG_TRY(re, extract_double("re", slots[1]));
    HALOMAG_TRY(rstar, extract_double("rstar", slots[2]));
    return SeparationArgs{std::move(*l), *re, *rstar};
}

// (l, re, rstar, bl, bf) with l, bl, bf sequences.
struct FluxMapArgs {
    std::vector<double> l;
    double re;
    double rstar;
    std::vector<double> bl;
    std::vector<double> bf;
};

PyResult<FluxMapArgs> flux_map_args(const FunctionDescription& function, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 5> slots{};
    HALOMAG_TRY(bound, bind(function, args, nargs, kwnames, slots));
    HALOMAG_TRY(l, extract_vector("l", slots[0]));
    HALOMAG_TRY(re, extract_double("re", slots[1]));
    HALOMAG_TRY(rstar, extract_double("rstar", slots[2]));
    HALOMAG_TRY(bl, extract_vector("bl", slots[3]));
    HALOMAG_TRY(bf, extract_vector("bf", slots[4]));
    return FluxMapArgs{std::move(*l), *re, *rstar, std::move(*bl), std::move(*bf)};
}

PyResult<PyObject*> witt_mao_magnification(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
    static constexpr FunctionDescription function = describe("witt_mao_magnification", L_RE_RSTAR);
    HALOMAG_TRY(a, separation_args(function, args, nargs, kwnames));
    return finish(models::witt_mao_magnification(std::move(a->l), a->re, a->rstar));
}

PyResult<PyObject*> integrated_witt_mao_magnification(PyObject*, PyObject* const* args,
                                                      Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr FunctionDescription function =
        describe("integrated_witt_mao_magnification", L_RE_RSTAR);
    HALOMAG_TRY(a, separation_args(function, args, nargs, kwnames));
    return finish(models::integrated_witt_mao_magnification(std::move(a->l), a->re, a->rstar));
}

PyResult<PyObject*> integrated_flux_map_witt_mao_magnification(PyObject*, PyObject* const* args,
                                                               Py_ssize_t nargs,
                                                               PyObject* kwnames) {
    static constexpr FunctionDescription function =
        describe("integrated_flux_map_witt_mao_magnification", L_RE_RSTAR_BL_BF);
    HALOMAG_TRY(a, flux_map_args(function, args, nargs, kwnames));
    return finish(models::integrated_flux_map_witt_mao_magnification(
        std::move(a->l), std::move(a->bl), std::move(a->bf), a->re, a->rstar));
}

PyResult<PyObject*> heyrovsky_magnification(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                            PyObject* kwnames) {
    static constexpr FunctionDescription function =
        describe("heyrovsky_magnification", L_R_RE_RSTAR);
    std::array<PyObject*, 4> slots{};
    HALOMAG_TRY(bound, bind(function, args, nargs, kwnames, slots));
    HALOMAG_TRY(l, extract_double("l", slots[0]));
    HALOMAG_TRY(r, extract_double("r", slots[1]));
    HALOMAG_TRY(re, extract_double("re", slots[2]));
    HALOMAG_TRY(rstar, extract_double("rstar", slots[3]));
    const Expected<double> value = models::heyrovsky_magnification(*l, *r, *re, *rstar);
    if (!value) return std::unexpected(model_error(value.error()));
    return binding::to_float(*value);
}

PyResult<PyObject*> integrated_heyrovsky_magnification(PyObject*, PyObject* const* args,
                                                       Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr FunctionDescription function =
        describe("integrated_heyrovsky_magnification", L_RE_RSTAR);
    HALOMAG_TRY(a, separation_args(function, args, nargs, kwnames));
    return finish(models::integrated_heyrovsky_magnification(std::move(a->l), a->re, a->rstar));
}

PyResult<PyObject*> integrated_flux_map_heyrovsky_magnification(PyObject*, PyObject* const* args,
                                                                Py_ssize_t nargs,
                                                                PyObject* kwnames) {
    static constexpr FunctionDescription function =
        describe("integrated_flux_map_heyrovsky_magnification", L_RE_RSTAR_BL_BF);
    HALOMAG_TRY(a, flux_map_args(function, args, nargs, kwnames));
    return finish(models::integrated_flux_map_heyrovsky_magnification(
        std::move(a->l), std::move(a->bl), std::move(a->bf), a->re, a->rstar));
}

PyResult<PyObject*> discrete_flux_map_heyrovsky_magnification(PyObject*, PyObject* const* args,
                                                              Py_ssize_t nargs,
                                                              PyObject* kwnames) {
    static constexpr FunctionDescription function =
        describe("discrete_flux_map_heyrovsky_magnification", L_RE_RSTAR_BL_BF);
    HALOMAG_TRY(a, flux_map_args(function, args, nargs, kwnames));
    return finish(models::discrete_flux_map_heyrovsky_magnification(
        std::move(a->l), std::move(a->bl), std::move(a->bf), a->re, a->rstar));
}

#undef HALOMAG_TRY

using Body = PyResult<PyObject*> (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// The entry CPython calls: the body inside the failure boundary.
template <Body body>
PyObject* entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept {
    return binding::run_boundary([&] { return body(module, args, nargs, kwnames); });
}

template <Body body>
PyCFunction as_method() noexcept {
    // METH_FASTCALL | METH_KEYWORDS entries are stored as PyCFunction and
    // called with their real signature by CPython.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry<body>));
}

}  // namespace

std::span<const FunctionRecord> function_records() noexcept {
    static const FunctionRecord records[] = {
        {"witt_mao_magnification", as_method<witt_mao_magnification>(),
         "witt_mao_magnification(l, re, rstar)\n--\n\n"},
        {"integrated_witt_mao_magnification", as_method<integrated_witt_mao_magnification>(),
         "integrated_witt_mao_magnification(l, re, rstar)\n--\n\n"},
        {"integrated_flux_map_witt_mao_magnification",
         as_method<integrated_flux_map_witt_mao_magnification>(),
         "integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)\n--\n\n"},
        {"heyrovsky_magnification", as_method<heyrovsky_magnification>(),
         "heyrovsky_magnification(l, r, re, rstar)\n--\n\n"},
        {"integrated_heyrovsky_magnification", as_method<integrated_heyrovsky_magnification>(),
         "integrated_heyrovsky_magnification(l, re, rstar)\n--\n\n"},
        {"integrated_flux_map_heyrovsky_magnification",
         as_method<integrated_flux_map_heyrovsky_magnification>(),
         "integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
        {"discrete_flux_map_heyrovsky_magnification",
         as_method<discrete_flux_map_heyrovsky_magnification>(),
         "discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    };
    return records;
}

}  // namespace halomag
