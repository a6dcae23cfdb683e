"""Type hints of orvik: contours, objects and tracks on numpy arrays."""

import os
from typing import Any, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

Model = Literal["center", "standard", "balloon", "opened"]
Polarity = Literal["black-on-white", "white-on-black"]
FindPolarity = Literal["auto", "black-on-white", "white-on-black"]
ToolName = Literal["radius", "threshold", "object", "all"]
Channel = Literal["grey", "red", "green", "blue"]
Box = Tuple[int, int, int, int]
Image = Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16], "Picture"]
Path = Union[str, os.PathLike[str]]

class Picture:
    frames: Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16]]
    pixel_size: Optional[float]
    unit: Optional[str]
    display_range: Optional[Tuple[int, int]]
    path: str
    def __init__(
        self,
        frames: Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16]],
        pixel_size: Optional[float] = ...,
        unit: Optional[str] = ...,
        display_range: Optional[Tuple[int, int]] = ...,
        path: str = ...,
    ) -> None: ...

class _Outline:
    points: npt.NDArray[np.float32]
    vertices: npt.NDArray[np.int32]
    outline: npt.NDArray[np.float64]
    closed: bool
    iteration: int
    measurements: dict[str, Any]
    error: Optional[str]
    settings: dict[str, Any]
    @property
    def flags(self) -> list[str]: ...
    @property
    def points_rc(self) -> npt.NDArray[np.float32]: ...
    @property
    def vertices_rc(self) -> npt.NDArray[np.int32]: ...
    @property
    def outline_rc(self) -> npt.NDArray[np.float64]: ...

class Contour(_Outline):
    energy: float

class Object(_Outline):
    id: int

class Objects(list[Object]):
    def labels(self) -> npt.NDArray[np.uint16]: ...
    def table(self) -> dict[str, list[Any]]: ...
    def save(self, path: Path) -> None: ...

class Tracks:
    ids: list[int]
    ends: dict[int, Tuple[int, int, Optional[str]]]
    def __len__(self) -> int: ...
    def __getitem__(self, frame: int) -> Objects: ...
    def save_ctc(self, folder: Path) -> None: ...

def read(path: Path) -> Picture: ...
def analyse(
    image: Image,
    box: Optional[Box] = ...,
    model: Model = ...,
    polarity: Polarity = ...,
    *,
    click: Optional[Tuple[int, int]] = ...,
    tool: Optional[ToolName] = ...,
    display_range: Optional[Tuple[int, int]] = ...,
    pixel_size: Optional[float] = ...,
    unit: Optional[str] = ...,
    channel: Optional[Channel] = ...,
    **fields: Union[int, Literal["auto"]],
) -> Contour: ...
def tool(
    image: Image,
    box: Box,
    x: int,
    y: int,
    which: ToolName = ...,
    model: Model = ...,
    polarity: Polarity = ...,
    *,
    display_range: Optional[Tuple[int, int]] = ...,
    channel: Optional[Channel] = ...,
    **fields: int,
) -> dict[str, Any]: ...
def find_objects(
    image: Image,
    threshold: Union[int, str] = ...,  # a level, "auto", "local" or "local:R"
    polarity: FindPolarity = ...,
    min_area: int = ...,
    max_area: Optional[int] = ...,
    exclude_edges: bool = ...,
    split: bool = ...,
    model: Model = ...,
    threads: Optional[int] = ...,
    *,
    display_range: Optional[Tuple[int, int]] = ...,
    pixel_size: Optional[float] = ...,
    unit: Optional[str] = ...,
    channel: Optional[Channel] = ...,
    **fields: int,
) -> Objects: ...
def follow(
    frames: Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16], Picture],
    objects: Optional[Objects] = ...,
    threshold: Union[int, str] = ...,  # a level, "auto", "local" or "local:R"
    polarity: FindPolarity = ...,
    min_area: int = ...,
    max_area: Optional[int] = ...,
    exclude_edges: bool = ...,
    split: bool = ...,
    model: Model = ...,
    threads: Optional[int] = ...,
    *,
    display_range: Optional[Tuple[int, int]] = ...,
    pixel_size: Optional[float] = ...,
    unit: Optional[str] = ...,
    channel: Optional[Channel] = ...,
    **fields: int,
) -> Tracks: ...
