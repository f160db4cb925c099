"""Compiled Windows Help files (.HLP) from Python, without the help viewer."""

import os
from types import TracebackType
from typing import Iterator, Literal, NamedTuple, Optional, Union

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Buffer = Union[bytes, bytearray, memoryview]
HotspotKind = Literal["jump", "popup", "macro"]
MacroAction = Literal["jump", "popup", "keyword", "url", "contents"]

class Error(OSError):
    """A help file or picture could not be opened or read.

    errno: the system's error number where the system reported the failure,
    else None; strerror: what failed; filename: the help file's path.
    """

class Title(NamedTuple):
    offset: int
    title: str

class Context(NamedTuple):
    hash: int  # unsigned, 0 to 0xFFFFFFFF
    offset: int
    context: Optional[str]  # made up to hash to the value; None if none does

class KeywordEntry(NamedTuple):
    keyword: str
    topics: list[int]

class Keyword(NamedTuple):
    list: str  # "K", "A", ...
    keyword: str

class File(NamedTuple):
    name: str
    size: int

class Window(NamedTuple):
    type: str
    name: str
    caption: str
    x: Optional[int]
    y: Optional[int]
    width: Optional[int]
    height: Optional[int]
    maximized: bool
    background: Optional[int]
    non_scrolling_background: Optional[int]

class Hotspot(NamedTuple):
    kind: HotspotKind
    text: str
    context: Optional[str]
    hash: Optional[int]
    file: Optional[str]
    window: Optional[str]
    macro: Optional[str]
    action: Optional[MacroAction]
    url: Optional[str]
    keyword: Optional[str]
    target: Optional[int]
    invisible: bool

class PictureHotspot(NamedTuple):
    left: int
    top: int
    right: int
    bottom: int
    kind: HotspotKind
    name: str
    context: Optional[str]
    hash: Optional[int]
    file: Optional[str]
    window: Optional[str]
    macro: Optional[str]
    action: Optional[MacroAction]
    url: Optional[str]
    keyword: Optional[str]
    target: Optional[int]

class Topic:
    """One topic of a help file."""

    @property
    def offset(self) -> int: ...
    @property
    def number(self) -> Optional[int]: ...
    @property
    def title(self) -> str: ...
    @property
    def contexts(self) -> list[Context]: ...
    @property
    def keywords(self) -> list[Keyword]: ...
    @property
    def text(self) -> str:
        """The text as hlp2rtf -t prints it, without the "== TITLE" line."""
    @property
    def hotspots(self) -> list[Hotspot]: ...
    @property
    def picture_names(self) -> list[str]: ...
    @property
    def browse_previous(self) -> Optional[int]: ...
    @property
    def browse_next(self) -> Optional[int]: ...
    def html(self) -> str:
        """The topic as an HTML fragment (needs the file open)."""
    def rtf(self) -> str:
        """The topic as a Rich Text Format document."""

class TopicIterator(Iterator[Topic]):
    def __iter__(self) -> TopicIterator: ...
    def __next__(self) -> Topic: ...

class Picture:
    """A picture of a help file, decoded from its SHG image."""

    @property
    def name(self) -> str: ...
    @property
    def kind(self) -> Literal["bitmap", "metafile"]: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def count(self) -> int: ...
    @property
    def hotspots(self) -> list[PictureHotspot]: ...
    @property
    def dib(self) -> Optional[bytes]: ...
    @property
    def metafile(self) -> Optional[bytes]: ...
    def png(self) -> bytes: ...
    def svg(self) -> Optional[bytes]: ...

class PictureIterator(Iterator[Picture]):
    def __iter__(self) -> PictureIterator: ...
    def __next__(self) -> Picture: ...

class HelpFile:
    """A compiled Windows Help file, open for reading; a context manager."""

    def __init__(self, path: _Path, *, symbol_fonts: bool = True) -> None: ...
    def __enter__(self) -> HelpFile: ...
    def __exit__(
        self,
        exc_type: Optional[type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> bool: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def path(self) -> str: ...
    @property
    def title(self) -> str: ...
    @property
    def copyright(self) -> str: ...
    @property
    def citation(self) -> str: ...
    @property
    def version(self) -> int:
        """15: Windows 3.0; 21: Windows 3.1; 33: later."""
    @property
    def code_page(self) -> int: ...
    @property
    def language(self) -> Optional[int]: ...
    @property
    def windows(self) -> list[Window]: ...
    @property
    def contents_topic(self) -> Optional[int]: ...
    @property
    def startup_macros(self) -> list[str]: ...
    @property
    def keyword_lists(self) -> list[str]: ...
    def files(self) -> list[File]: ...
    def read(self, name: str) -> bytes: ...
    def titles(self) -> list[Title]: ...
    def contexts(self) -> list[Context]: ...
    def keywords(self, list: str = "K") -> list[KeywordEntry]: ...
    def topics(self) -> TopicIterator: ...
    def topic_at(self, offset: int) -> Topic: ...
    def find(self, context_string: str) -> Optional[Topic]: ...
    def picture_names(self) -> list[str]: ...
    def pictures(self) -> PictureIterator: ...
    def picture(self, name: str) -> Picture: ...

def open(path: _Path, *, symbol_fonts: bool = True) -> HelpFile:
    """Opens a help file for reading; quillon.Error when it cannot be."""

def hash(context_string: Union[str, bytes]) -> int:
    """The 32-bit context hash, unsigned (0 to 0xFFFFFFFF)."""

def context_string(hash: int) -> str:
    """A context string that hashes to hash (unsigned or signed)."""

def shg_to_png(data: _Buffer) -> bytes:
    """An SHG image (the largest of its resolutions) as PNG."""
