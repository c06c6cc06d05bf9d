from typing import Any, Sequence, SupportsInt, Tuple, Union

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
    ) -> None: ...
    def init(self, image: npt.NDArray[Any], boundingBox: BoxLike) -> bool: ...
    def update(self, image: npt.NDArray[Any], boundingBox: BoxLike) -> Tuple[bool, Box]: ...
    def variance(self) -> float: ...
    def matches(self) -> Union[Tuple[()], npt.NDArray[np.float64]]: ...
