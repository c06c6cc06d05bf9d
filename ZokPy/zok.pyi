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
