"""Wrapper objects: their methods, chains, ownership and destruction, and registration."""

import struct
import sys

import pytest

import _zok
import zok
from conftest import run_python

LEAK_LINE = "swig/python detected a memory leak of type 'PyTrackerCorr *', no destructor found.\n"


def test_wrapper_type():
    wrapper = _zok.new_PyTrackerCorr()
    kind = type(wrapper)
    assert kind.__name__ == "SwigPyObject"
    assert kind.__doc__ == "Swig object carries a C/C++ instance pointer"
    assert {name: getattr(kind, name).__doc__ for name in
            ("disown", "acquire", "own", "append", "next")} == {
        "disown": "releases ownership of the pointer",
        "acquire": "acquires ownership of the pointer",
        "own": "returns/sets ownership of the pointer",
        "append": "appends another 'this' object",
        "next": "returns the next 'this' object"}
    with pytest.raises(AttributeError):
        wrapper.anything = 1  # no instance dictionary

    class Derived(kind):
        pass
    assert issubclass(Derived, kind)


def test_repr_ownership_and_comparisons():
    first, second = _zok.new_PyTrackerCorr(), _zok.new_PyTrackerCorr()
    assert repr(first) == first.__repr__() == (
        "<Swig Object of type 'PyTrackerCorr *' at 0x%x>" % id(first))
    assert first.own() is True
    assert first.disown() is None and first.own() is False
    assert first.acquire() is None and first.own() is True
    assert first.own(0) is True and first.own() is False
    assert first.own(1) is False and first.own() is True
    with pytest.raises(TypeError):
        first.own(1, 2)
    assert int(first) != 0 and int(first) != int(second)
    assert first != second and not first == second
    with pytest.raises(TypeError):
        first < second
    # Any other object is unequal, even a float whose bits spell the native address.
    lookalike = struct.unpack("d", struct.pack("Q", int(first)))[0]
    assert first != lookalike and not first == lookalike and first != None  # noqa: E711
    for wrapper in (first, second):
        _zok.delete_PyTrackerCorr(wrapper)


def test_chains():
    first, second, third = (_zok.new_PyTrackerCorr() for _ in range(3))
    assert first.next() is None
    assert first.append(second) is None and first.next() is second
    first.append(third)  # goes directly after first
    assert first.next() is third and third.next() is second
    assert repr(first) == "".join(
        "<Swig Object of type 'PyTrackerCorr *' at 0x%x>" % id(w) for w in (first, third, second))
    for looping in (first, second, third):
        with pytest.raises(ValueError) as error:
            first.append(looping)
        assert str(error.value) == "Attempt to append a SwigPyObject that is already in the chain"
    with pytest.raises(TypeError) as error:
        first.append(5)
    assert str(error.value) == "Attempt to append a non SwigPyObject"
    # Moving a wrapper into another chain lets go of the chain it had.
    fourth = _zok.new_PyTrackerCorr()
    count = sys.getrefcount(second)
    fourth.append(third)
    assert third.next() is None and first.next() is third
    assert sys.getrefcount(second) == count - 1
    for wrapper in (first, second, third, fourth):
        _zok.delete_PyTrackerCorr(wrapper)


def test_swiginit_sets_this_then_chains():
    instance = zok.PyTrackerCorr()
    first = instance.this
    second = _zok.new_PyTrackerCorr()
    assert _zok.PyTrackerCorr_swiginit(instance, second) is None
    assert instance.this is first and first.next() is second
    with pytest.raises(TypeError) as error:
        _zok.PyTrackerCorr_swiginit(instance, 5)
    assert str(error.value) == "Attempt to append a non SwigPyObject"


def test_objects_are_found_through_this_attributes(scene):
    tracker = zok.PyTrackerCorr()

    class Holder:
        pass
    holder = Holder()
    holder.this = tracker  # not a wrapper itself, but it carries one
    assert _zok.PyTrackerCorr_init(holder, scene.frame(100, 100), scene.box(100, 100)) is True
    assert _zok.PyTrackerCorr_update(tracker, scene.frame(100, 100), None)[0] is True

    holder.this = holder  # a circle of 'this' attributes holds no wrapper

    class Fresh:  # a 'this' made afresh on each access dies before it could be used
        this = property(lambda self: _zok.new_PyTrackerCorr())
    for target in (holder, Fresh()):
        with pytest.raises(TypeError) as error:
            _zok.PyTrackerCorr_variance(target)
        assert "argument 1 of type 'PyTrackerCorr const *'" in str(error.value)


@pytest.mark.parametrize("code, output", [
    ("w = _zok.new_PyTrackerCorr(); del w", LEAK_LINE),
    ("w = _zok.new_PyTrackerCorr(); w.disown(); del w", ""),
    ("w = _zok.new_PyTrackerCorr(); _zok.delete_PyTrackerCorr(w); del w", ""),
    # Registered: the built-in delete is called with the wrapper itself.
    ("import zok; t = zok.PyTrackerCorr(); w = t.this; del t; print(w.own(), int(w) != 0)",
     "True True\n"),
    # A plain Python function gets a non-owning wrapper of the same address.
    ("""
     class P:
         def __swig_destroy__(w):
             print('destroy', int(w) == address, w.own())
             _zok.delete_PyTrackerCorr(w)
     _zok.PyTrackerCorr_swigregister(P)
     w = _zok.new_PyTrackerCorr()
     address = int(w)
     del w
     print('done')
     """, "destroy True False\ndone\n"),
])
def test_deallocation(code, output):
    result = run_python("import _zok\n" + code.replace("\n     ", "\n"))
    assert result.returncode == 0, result.stderr
    assert result.stdout == output


def test_unraisable_destroy_failure_is_reported():
    result = run_python("""
        import _zok
        class P:
            def __swig_destroy__(w):
                raise ValueError('refused')
        _zok.PyTrackerCorr_swigregister(P)
        w = _zok.new_PyTrackerCorr()
        del w
        """)
    assert result.returncode == 0
    assert "Exception ignored in: <function P.__swig_destroy__" in result.stderr
    assert "ValueError: refused" in result.stderr
