from typing import Any, Literal, Optional, Protocol, Sequence, SupportsInt, Tuple, Union

import numpy as np
import numpy.typing as npt

SIGMA_EXP_MAX: float
cvar: Any

Box = Tuple[int, int, int, int]
BoxLike = Union[Sequence[SupportsInt], npt.NDArray[np.integer]]

class PyTrackerCorr:
    thisown: bool
    def __init__(
        self,
        searchRadiusFactor: float = ...,
        threshold: float = ...,
        altSearchRadiusFactor: float = ...,
        sigmaExp: float = ...,
        cloneImage: bool = ...,
        depth: int = ...,
        zoomFactor: int = ...,
        mode1D: bool = ...,
        varianceThreshold: float = ...,
        varianceKSize: int = ...,
        varianceGreyscale: bool = ...,
        /,
        *,
        engine: Literal["opencv", "fft", "auto"] = ...,
        zeroMean: bool = ...,
        updateThreshold: float = ...,
        redetectThreshold: Optional[float] = ...,
    ) -> None: ...
    def init(self, image: npt.NDArray[Any], boundingBox: BoxLike) -> bool: ...
    def update(self, image: npt.NDArray[Any], boundingBox: BoxLike) -> Tuple[bool, Box]: ...
    def variance(self) -> float: ...
    def matches(self) -> Union[Tuple[()], npt.NDArray[np.float64]]: ...

class TrackerDcf:
    """A tracker that learns a correlation filter of the target and its surroundings.

    Every argument is keyword-only and optional, named as the field of the native
    TrackerDcf::Params it sets; the tracker clamps each value as the native header documents.
    Floats take a float or an int (rounded to single precision), flags True or False, integers
    an int in C int's range. Another type raises TypeError, an int out of range ValueError (one
    too long for str() too, described by its sign and bits), an unknown keyword TypeError
    (a name is matched whole: one with a NUL in it is unknown), each naming the keyword.
    """

    def __init__(
        self,
        *,
        padding: float = ...,
        gridCells: int = ...,
        labelSigma: float = ...,
        learningRate: float = ...,
        admmIterations: int = ...,
        colour: bool = ...,
        colourWeight: float = ...,
        colourLearningRate: float = ...,
        scaleFilter: bool = ...,
        scales: int = ...,
        scaleStep: float = ...,
        scaleLearningRate: float = ...,
        motionPrediction: bool = ...,
        motionDamping: float = ...,
        redetection: bool = ...,
        lostConfidence: float = ...,
        learnConfidence: float = ...,
        redetectConfidence: float = ...,
        redetectFrames: int = ...,
        cameraMotion: bool = ...,
        minSharpness: float = ...,
        stillPreference: float = ...,
        aspectFilter: bool = ...,
        aspects: int = ...,
        aspectStep: float = ...,
        aspectLimit: float = ...,
        aspectRate: float = ...,
        colourFeatures: bool = ...,
        maxResponseVariation: float = ...,
        motionSupport: bool = ...,
    ) -> None: ...
    def init(self, frame: npt.NDArray[Any], box: BoxLike) -> None:
        """Learns the first model from `box` (x, y, width, height) of `frame`, an 8-bit or
        float array with 1, 3 or 4 channels, used without a copy. A box outside the frame or
        too small, or a frame of another type, raises RuntimeError; arguments that cannot be
        converted raise TypeError: a box is four ints, and None, for the frame, the box or any
        item of the box, is refused. The tracker is then unchanged. A later init starts
        afresh."""
    def update(self, frame: npt.NDArray[Any]) -> Tuple[bool, Box]:
        """Finds the target in a frame of the first frame's size and type: (True, new box), or
        (False, last box found) while the target is judged lost. RuntimeError before init or
        for a frame of another size or type, TypeError for a frame that cannot be converted
        (None among them), with the tracker unchanged."""
    @property
    def confidence(self) -> float:
        """The last init's (1.0) or update's confidence, 0 or more: the response peak's strength
        relative to its recent history; near 1 or above for the target's usual peaks, below
        lostConfidence when it is reported lost."""

class _ZokModule(Protocol):
    """The extension module, as zok._zok; listed here is its function that no method of
    PyTrackerCorr wraps."""

    # The native side of the keyword-only arguments, called by PyTrackerCorr.__init__ with
    # the wrapper object of _zok.new_PyTrackerCorr (or a PyTrackerCorr). `engine` is 0 (OpenCV),
    # 1 (FFT) or 2 (auto): another number raises ValueError, an engine this build lacks
    # RuntimeError, a call after the first init (even a refused one) RuntimeError, a wrong type
    # TypeError (a bool must be True or False). `redetectThreshold` may be left out, and NaN
    # means threshold's level. The tracker is rebuilt from its constructor's parameters with
    # these, and left as it was when the call fails. Returns None.
    def PyTrackerCorr_setOptions(
        self,
        tracker: Any,
        engine: int,
        zeroMean: bool,
        updateThreshold: float,
        redetectThreshold: float = ...,
        /,
    ) -> None: ...

_zok: _ZokModule
