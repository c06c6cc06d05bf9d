"""zok: trackers that follow one target through numpy frames.

    tracker = zok.PyTrackerCorr()            # positional parameters, all optional
    tracker.init(first_frame, (x, y, w, h))
    found, box = tracker.update(frame, box)  # box comes back unchanged when not found

    tracker = zok.TrackerDcf()               # keyword parameters, all optional
    tracker.init(first_frame, (x, y, w, h))
    found, box = tracker.update(frame)       # the last box found when lost
    tracker.confidence
"""

import re

if __package__:
    from . import _zok
    from ._zok_dcf import TrackerDcf
else:
    import _zok
    from _zok_dcf import TrackerDcf

cvar = _zok.cvar
SIGMA_EXP_MAX = _zok.cvar.SIGMA_EXP_MAX

# The engines' names, as configuration files spell them, and their native numbers.
_ENGINES = {"opencv": 0, "fft": 1, "auto": 2}

# The keyword-only arguments by their place among PyTrackerCorr_setOptions' arguments, so that a
# refused value is reported under the name it was given as.
_KEYWORDS = {3: "zeroMean", 4: "updateThreshold", 5: "redetectThreshold"}


def _keyword_error(error):
    match = re.search(r"argument (\d+) of type", str(error))
    name = _KEYWORDS.get(int(match.group(1))) if match else None
    return TypeError("%s: %s" % (name, error)) if name else error


class PyTrackerCorr:
    """A tracker that follows one target by normalised cross-correlation of a template.

    PyTrackerCorr(searchRadiusFactor=4.0, threshold=0.85, altSearchRadiusFactor=0.0,
                  sigmaExp=5.0, cloneImage=False, depth=1, zoomFactor=1, mode1D=False,
                  varianceThreshold=0.0, varianceKSize=3, varianceGreyscale=False,
                  *, engine="opencv", zeroMean=False, updateThreshold=0.0,
                  redetectThreshold=None)

    The eleven arguments before the star are positional only; leave out any tail to take its
    defaults. The four after it are keyword-only.

    - searchRadiusFactor (float): half-size of the search window in template sizes (min 1.25).
    - threshold (float): smallest score, 0..1, that counts as found.
    - altSearchRadiusFactor (float): a wider window tried after a weak score; used only when
      greater than searchRadiusFactor.
    - sigmaExp (float): centre weighting of the template; below 5.0 it is on, and the weight
      falls to 0.61 at e**sigmaExp half-sides from the centre.
    - cloneImage (bool): copy templates instead of keeping views onto the frames (forced when
      depth > 1). Views keep their frame arrays alive and see later writes into them.
    - depth (int): templates kept while the target holds its position (1..32).
    - zoomFactor (int): sub-pixel steps per pixel (1 = off, up to 20).
    - mode1D (bool): separate templates for the horizontal and the vertical position.
    - varianceThreshold (float): reject matches on patches with less texture than this
      (0 = off).
    - varianceKSize (int): neighbourhood size of the texture measure.
    - varianceGreyscale (bool): measure texture on brightness; frames must then be BGR(A).
    - engine (str): how the correlation is computed, "opencv", "fft" or "auto" (the FFT engine
      where the build has it, OpenCV's otherwise). Another string raises ValueError, another
      type TypeError; an engine this build lacks raises RuntimeError.
    - zeroMean (bool): score by the zero-mean correlation coefficient (-1..1), so that a
      hidden target is reported lost: flat ground scores 0 instead of nearly 1. Pick a
      threshold for it, 0.6-0.7 say.
    - updateThreshold (float): a match scoring at least threshold but below this still
      counts as found and moves the search, but keeps the reference template instead of
      taking the matched patch (0 or less = off). Taken in double precision.
    - redetectThreshold (float or None): smallest score at which a match found by the wider
      search (altSearchRadiusFactor) counts as found; None, the default, means threshold's
      level. With zeroMean, 0.7-0.8 lets a target that comes back into view pass and not the
      background around it. Taken in double precision.

    Floats must be Python floats or ints (numpy.float64 too), bools must be True or False,
    integers Python ints: anything else raises TypeError, and for a keyword-only argument the
    message begins with its name. The keyword-only arguments reach the native tracker through
    _zok.PyTrackerCorr_setOptions, called once here, before any init.
    """

    # Called by the wrapper, with itself, when a wrapper that owns its object is freed.
    __swig_destroy__ = _zok.delete_PyTrackerCorr

    def __init__(self, *args, engine="opencv", zeroMean=False, updateThreshold=0.0,
                 redetectThreshold=None):
        if not isinstance(engine, str):
            raise TypeError("engine must be a str, 'opencv', 'fft' or 'auto', not %s"
                            % type(engine).__name__)
        if engine not in _ENGINES:
            raise ValueError("engine must be 'opencv', 'fft' or 'auto', not %r" % engine)
        this = _zok.new_PyTrackerCorr(*args)
        try:
            _zok.PyTrackerCorr_setOptions(
                this, _ENGINES[engine], zeroMean, updateThreshold,
                float("nan") if redetectThreshold is None else redetectThreshold)
        except TypeError as error:
            _zok.delete_PyTrackerCorr(this)
            raise _keyword_error(error) from None
        except BaseException:
            _zok.delete_PyTrackerCorr(this)
            raise
        _zok.PyTrackerCorr_swiginit(self, this)

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
        """Takes the target's template from `image` at `boundingBox` (x, y, width, height).

        `image` is a numpy array (H x W, or H x W x C with C up to 512), used without a copy
        when its layout allows. The box must lie inside the image (RuntimeError otherwise).
        Returns True. A box or image that cannot be converted raises TypeError.
        """
        return _zok.PyTrackerCorr_init(self, image, boundingBox)

    def update(self, image, boundingBox):
        """Finds the target in a new frame of the first frame's type.

        Returns (found, (x, y, width, height)): the new box when found, else `boundingBox`
        unchanged. The search starts where the target was last found; `boundingBox` only
        supplies the box to return on failure.
        """
        return _zok.PyTrackerCorr_update(self, image, boundingBox)

    def variance(self):
        """The texture of the last matched patch (or of the template after init) when the
        variance filter is on; 0.0 otherwise."""
        return _zok.PyTrackerCorr_variance(self)

    def matches(self):
        """The scores of the last update's searches as a float64 array, in search order;
        () after init."""
        return _zok.PyTrackerCorr_matches(self)


_zok.PyTrackerCorr_swigregister(PyTrackerCorr)
