"""zok: a correlation tracker that follows one target through numpy frames.

    tracker = zok.PyTrackerCorr()            # positional parameters, all optional
    tracker.init(first_frame, (x, y, w, h))
    found, box = tracker.update(frame, box)  # box comes back unchanged when not found
"""

if __package__:
    from . import _zok
else:
    import _zok

cvar = _zok.cvar
SIGMA_EXP_MAX = _zok.cvar.SIGMA_EXP_MAX


class PyTrackerCorr:
    """The correlation tracker. The native object lives in the wrapper held in ``this``."""

    # Called by the wrapper, with itself, when a wrapper that owns its object is freed.
    __swig_destroy__ = _zok.delete_PyTrackerCorr

    def __init__(self, *args):
        _zok.PyTrackerCorr_swiginit(self, _zok.new_PyTrackerCorr(*args))

    @property
    def thisown(self):
        return self.this.own()

    @thisown.setter
    def thisown(self, value):
        self.this.own(value)

    def __repr__(self):
        try:
            this = repr(self.this)
        except AttributeError:
            this = "no native object"
        return "<%s.%s; proxy of %s >" % (type(self).__module__, type(self).__qualname__, this)

    def init(self, image, boundingBox):
        return _zok.PyTrackerCorr_init(self, image, boundingBox)

    def update(self, image, boundingBox):
        return _zok.PyTrackerCorr_update(self, image, boundingBox)

    def variance(self):
        return _zok.PyTrackerCorr_variance(self)

    def matches(self):
        return _zok.PyTrackerCorr_matches(self)


_zok.PyTrackerCorr_swigregister(PyTrackerCorr)
