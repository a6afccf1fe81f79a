"""The module's Python surface: registration, signatures, binding and
conversion messages, and the failure bridge."""

import importlib
import inspect
import subprocess
import sys
import textwrap

import pytest

import halomag

NAMES = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]
SIGNATURES = {
    "witt_mao_magnification": "(l, re, rstar)",
    "integrated_witt_mao_magnification": "(l, re, rstar)",
    "integrated_flux_map_witt_mao_magnification": "(l, re, rstar, bl, bf)",
    "heyrovsky_magnification": "(l, r, re, rstar)",
    "integrated_heyrovsky_magnification": "(l, re, rstar)",
    "integrated_flux_map_heyrovsky_magnification": "(l, re, rstar, bl, bf)",
    "discrete_flux_map_heyrovsky_magnification": "(l, re, rstar, bl, bf)",
}
SEQUENCE_PARAMETERS = {"l", "bl", "bf"}
VALID = {"l": [0.5], "r": 0.3, "re": 1.0, "rstar": 1.0, "bl": [0.0, 1.0], "bf": [1.0, 1.0]}


def params(name):
    return SIGNATURES[name][1:-1].split(", ")


def valid_args(name):
    args = [VALID[p] for p in params(name)]
    if name == "heyrovsky_magnification":
        args[0] = 0.5
    return args


def test_registration_and_attributes():
    assert halomag.__all__ == NAMES
    assert halomag.__name__ == "halomag"
    assert isinstance(halomag.__doc__, str) and halomag.__doc__
    public = {n for n in dir(halomag) if not n.startswith("__")}
    assert public == set(NAMES)
    for name in NAMES:
        f = getattr(halomag, name)
        assert type(f).__name__ == "builtin_function_or_method"
        assert f.__self__ is halomag
        assert f.__module__ == "halomag"
        assert f.__doc__ is None
        assert f.__text_signature__ == SIGNATURES[name]
        assert str(inspect.signature(f)) == SIGNATURES[name]


def test_reimport_returns_same_module_and_functions():
    first = halomag
    functions = [getattr(first, n) for n in NAMES]
    del sys.modules["halomag"]
    again = importlib.import_module("halomag")
    assert again is first
    assert [getattr(again, n) for n in NAMES] == functions
    assert all(a is b for a, b in zip((getattr(again, n) for n in NAMES), functions))


@pytest.mark.parametrize(
    "call, message",
    [
        ("witt_mao_magnification([1.0], 1.0, 1.0, 1.0)",
         "witt_mao_magnification() takes 3 positional arguments but 4 were given"),
        ("heyrovsky_magnification(1, 2, 3, 4, 5, 6)",
         "heyrovsky_magnification() takes 4 positional arguments but 6 were given"),
        ("witt_mao_magnification([1.0])",
         "witt_mao_magnification() missing 2 required positional arguments: 're' and 'rstar'"),
        ("witt_mao_magnification([1.0], 1.0)",
         "witt_mao_magnification() missing 1 required positional argument: 'rstar'"),
        ("witt_mao_magnification()",
         "witt_mao_magnification() missing 3 required positional arguments: 'l', 're', and 'rstar'"),
        ("discrete_flux_map_heyrovsky_magnification([1.0], 1.0)",
         "discrete_flux_map_heyrovsky_magnification() missing 3 required positional arguments: "
         "'rstar', 'bl', and 'bf'"),
        ("witt_mao_magnification([1.0], rstar=1.0)",
         "witt_mao_magnification() missing 1 required positional argument: 're'"),
        ("witt_mao_magnification([1.0], 1.0, re=2.0)",
         "witt_mao_magnification() got multiple values for argument 're'"),
        ("heyrovsky_magnification(1.0, 0.5, 1.0, 1.0, x=1)",
         "heyrovsky_magnification() got an unexpected keyword argument 'x'"),
        # The unexpected keyword is reported before any missing argument.
        ("witt_mao_magnification(x=1)",
         "witt_mao_magnification() got an unexpected keyword argument 'x'"),
        # Too many positionals are reported before a bad keyword.
        ("witt_mao_magnification(1, 2, 3, 4, x=1)",
         "witt_mao_magnification() takes 3 positional arguments but 4 were given"),
        ("witt_mao_magnification(**{'l': [1.0], 're': 1.0, 'rstar': 1.0, 'r\\udcff': 1})",
         "witt_mao_magnification() got an unexpected keyword argument 'r\\udcff'"),
    ],
)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        eval(call, vars(halomag))
    assert type(info.value) is TypeError
    assert str(info.value) == message


def test_one_positional_too_many_uses_were_unless_one():
    # "{k} was given" only for k == 1, which cannot be too many here; the
    # plural form is used for every count that can arise.
    with pytest.raises(TypeError, match=r"takes 5 positional arguments but 6 were given$"):
        halomag.discrete_flux_map_heyrovsky_magnification(1, 2, 3, 4, 5, 6)


class Boom(Exception):
    pass


class SeqIterRaises:
    def __len__(self):
        return 2

    def __getitem__(self, i):
        return 1.0

    def __iter__(self):
        raise ValueError("no iteration today")


class SeqLenRaises:
    def __len__(self):
        raise Boom("length")

    def __getitem__(self, i):
        if i < 2:
            return float(i)
        raise IndexError


class FloatRaises:
    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc


class Indexable:
    def __index__(self):
        return 3


def type_error_with_cause():
    err = TypeError("inner")
    err.__cause__ = KeyError("root")
    return err


def test_conversion_messages():
    f = halomag.witt_mao_magnification
    with pytest.raises(TypeError) as info:
        f("abc", 1.0, 1.0)
    assert str(info.value) == "argument 'l': a str cannot be extracted into a vector of floats"
    with pytest.raises(TypeError, match=r"^argument 'l': must be real number, not str$"):
        f([1.0, "x"], 1.0, 1.0)
    with pytest.raises(TypeError) as info:
        f(1.0, 1.0, 1.0)
    assert str(info.value) == "argument 'l': 'float' object cannot be converted to 'Sequence'"
    for bad, qualname in [({1: 2}, "dict"), ({1.0}, "set"), ((x for x in [1.0]), "generator"),
                          (None, "NoneType")]:
        with pytest.raises(TypeError) as info:
            f(bad, 1.0, 1.0)
        assert str(info.value) == f"argument 'l': '{qualname}' object cannot be converted to 'Sequence'"
    with pytest.raises(TypeError, match=r"^argument 're': must be real number, not list$"):
        f([1.0], [1.0], 1.0)
    with pytest.raises(TypeError, match=r"^argument 'l': must be real number, not list$"):
        halomag.heyrovsky_magnification([1.0], 0.5, 1.0, 1.0)
    with pytest.raises(TypeError, match=r"^argument 'rstar': "):
        halomag.heyrovsky_magnification(1.0, 0.5, 1.0, "1")


@pytest.mark.parametrize("name", [n for n in NAMES if "flux_map" in n])
@pytest.mark.parametrize("slot", ["l", "bl", "bf"])
def test_str_refused_for_every_sequence(name, slot):
    args = dict(zip(params(name), valid_args(name)))
    args[slot] = "123"
    with pytest.raises(TypeError) as info:
        getattr(halomag, name)(**args)
    assert str(info.value) == f"argument '{slot}': a str cannot be extracted into a vector of floats"


def test_first_failing_argument_wins():
    with pytest.raises(TypeError, match=r"^argument 'l'"):
        halomag.integrated_flux_map_heyrovsky_magnification("x", "y", 1.0, "z", [])
    with pytest.raises(TypeError, match=r"^argument 'bl'"):
        halomag.integrated_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, 5, "z")


def test_user_exceptions_pass_unchanged():
    f = halomag.witt_mao_magnification
    with pytest.raises(ValueError, match=r"^no iteration today$"):
        f(SeqIterRaises(), 1.0, 1.0)
    with pytest.raises(Boom, match=r"^boom$"):
        f([FloatRaises(Boom("boom"))], 1.0, 1.0)
    with pytest.raises(Boom):
        f([1.0], FloatRaises(Boom("boom")), 1.0)
    with pytest.raises(OverflowError):
        f([10**400], 1.0, 1.0)
    with pytest.raises(KeyboardInterrupt):
        f([FloatRaises(KeyboardInterrupt())], 1.0, 1.0)
    # A subclass of TypeError is not re-wrapped.
    class MyTypeError(TypeError):
        pass
    with pytest.raises(MyTypeError, match=r"^mine$"):
        f([FloatRaises(MyTypeError("mine"))], 1.0, 1.0)


def test_exact_type_error_is_wrapped_with_its_own_cause():
    err = type_error_with_cause()
    with pytest.raises(TypeError) as info:
        halomag.witt_mao_magnification([FloatRaises(err)], 1.0, 1.0)
    assert str(info.value) == "argument 'l': inner"
    assert info.value is not err
    assert isinstance(info.value.__cause__, KeyError)
    assert info.value.__cause__ is err.__cause__
    with pytest.raises(TypeError) as info:
        halomag.witt_mao_magnification([FloatRaises(TypeError("plain"))], 1.0, 1.0)
    assert info.value.__cause__ is None


def test_accepted_inputs():
    f = halomag.witt_mao_magnification
    expected = f([0.5, 1.5], 1.0, 2.0)
    assert isinstance(expected, list) and len(expected) == 2
    assert all(type(v) is float for v in expected)
    assert f((0.5, 1.5), 1, 2) == expected
    assert f(l=[0.5, 1.5], re=1.0, rstar=2.0) == expected
    assert f(rstar=2.0, l=[0.5, 1.5], re=1.0) == expected
    assert f([0.5, 1.5], Indexable(), 2.0) == f([0.5, 1.5], 3.0, 2.0)
    assert f([True], 1.0, 1.0) == f([1.0], 1.0, 1.0)
    assert f(range(3), 1.0, 1.0) == f([0.0, 1.0, 2.0], 1.0, 1.0)
    assert f(b"\x01\x02", 1.0, 1.0) == f([1.0, 2.0], 1.0, 1.0)
    assert f(bytearray(b"\x03"), 1.0, 1.0) == f([3.0], 1.0, 1.0)
    # __len__ only sizes the reservation; iteration decides what is stored.
    assert f(SeqLenRaises(), 1.0, 1.0) == f([0.0, 1.0], 1.0, 1.0)
    assert f([], 1.0, 1.0) == []
    value = halomag.heyrovsky_magnification(0.5, 0.3, 1.0, 1.0)
    assert type(value) is float


def catch_panic(call):
    try:
        call()
    except Exception:  # pragma: no cover - must not be reached
        pytest.fail("PanicException was caught by except Exception")
    except BaseException as exc:
        return exc
    pytest.fail("no exception raised")


def test_panic_exception_type():
    bad = lambda: halomag.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.0, 1.0], [1.0])
    first, second = catch_panic(bad), catch_panic(bad)
    assert type(first) is type(second)
    panic = type(first)
    assert panic.__name__ == "PanicException"
    assert panic.__module__ == "pyo3_runtime"
    assert panic.__bases__ == (BaseException,)
    assert panic.__doc__.startswith("\n")
    assert panic.__doc__.endswith(
        "Like SystemExit, this exception is derived from BaseException so that\n"
        "it will typically propagate all the way through the stack and cause the\n"
        "Python interpreter to exit.\n")
    message = "assertion `left == right` failed\n  left: 2\n right: 1"
    assert str(first) == message and first.args == (message,)
    assert not hasattr(halomag, "PanicException")
    # Also for an empty separation list, and the interpreter goes on.
    with pytest.raises(panic):
        halomag.integrated_flux_map_heyrovsky_magnification([], 1.0, 1.0, [0.0], [])
    with pytest.raises(panic):
        halomag.integrated_flux_map_witt_mao_magnification([], 1.0, 1.0, [], [1.0])
    assert halomag.witt_mao_magnification([], 1.0, 1.0) == []


def test_panic_from_python_code_is_resumed(capfd):
    panic = type(catch_panic(
        lambda: halomag.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, [0.0], [])))
    capfd.readouterr()
    with pytest.raises(panic) as info:
        halomag.witt_mao_magnification([FloatRaises(panic("from user code"))], 1.0, 1.0)
    assert type(info.value) is panic
    assert str(info.value) == "from user code"
    err = capfd.readouterr().err
    assert "Python stack trace below:" in err
    assert "from user code" in err


def test_former_model_error_input_has_its_physical_value():
    # With re = 0 and radii near the overflow limit, q = 4u^2 + g^2 once
    # overflowed and RF(0, 0, 1) raised RuntimeError.  re = 0 is no lens: 1.
    # (No input is known to reach an elliptic-integral error any more; the
    # RuntimeError bridge stays for any that does.)
    assert halomag.heyrovsky_magnification(-1e154, 2e154, 0.0, 1.0) == 1.0


SUBINTERPRETER = textwrap.dedent('''
    import sys
    import halomag
    try:
        import _interpreters as interpreters
        interp = interpreters.create("legacy")
    except ImportError:
        import _xxsubinterpreters as interpreters
        interp = interpreters.create(isolated=False)
    code = """if True:
        try:
            import halomag
            result = "imported"
        except ImportError as exc:
            result = "ImportError: " + str(exc)
        open(%r, "w").write(result)
    """
    interpreters.run_string(interp, code % sys.argv[1])
    print(open(sys.argv[1]).read())
''')


def test_second_interpreter_is_refused(tmp_path):
    out = tmp_path / "result.txt"
    proc = subprocess.run([sys.executable, "-c", SUBINTERPRETER, str(out)],
                          capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.startswith("ImportError: "), proc.stdout
    assert "sub-interpreters" in proc.stdout
