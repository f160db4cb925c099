"""The plain records and the exception of the quillon module.

They are Python classes so that they behave like the standard library's own
records: named tuples that unpack, compare and print as one expects.  The
extension module (quillon._quillon) makes them; quillon re-exports them.
"""

from typing import NamedTuple, Optional


class Error(OSError):
    """A help file or picture could not be opened or read.

    ``errno`` is the system's error number where the system reported the
    failure (a missing file: ``errno.ENOENT``), else None; ``strerror`` says
    what failed; ``filename`` is the help file's path (None for data given as
    bytes).
    """

    def __str__(self) -> str:
        if self.errno is None and self.strerror is not None:
            if self.filename is None:
                return self.strerror
            return f"{self.strerror}: {self.filename!r}"
        return super().__str__()


class Title(NamedTuple):
    """An entry of the title index: where a topic begins and its title."""

    offset: int
    title: str


class Context(NamedTuple):
    """A context: its hash, the position it names and a context string.

    Help files keep only the hash of the author's context string; ``context``
    is a string made up to hash to the same value (None when no string does).
    """

    hash: int
    offset: int
    context: Optional[str]


class KeywordEntry(NamedTuple):
    """An entry of a keyword index: the keyword and the topics it leads to."""

    keyword: str
    topics: list  # of int: the offsets the index stores


class Keyword(NamedTuple):
    """A keyword a topic is listed under, and its list ("K", "A", ...)."""

    list: str
    keyword: str


class File(NamedTuple):
    """An internal file of the help file's container."""

    name: str
    size: int


class Window(NamedTuple):
    """A window the help file defines: the main window or a secondary one.

    Positions and sizes are in the viewer's 1/1024 of the screen; colours are
    0xRRGGBB.  None where the file leaves a field unset.
    """

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
    """A hotspot of a topic's text and where it leads.

    ``kind`` is "jump", "popup" or "macro".  ``target`` is the offset of the
    position in this help file that the hotspot shows, where it is known
    (a jump or popup, or a macro such as JumpId that shows a topic); None for
    a target in another file (``file``), one the file does not hold, or a
    macro that shows no topic.  ``action`` tells what a macro does where a
    reader can follow it: "jump", "popup", "keyword", "url", "contents", or
    None.
    """

    kind: str
    text: str
    context: Optional[str]
    hash: Optional[int]
    file: Optional[str]
    window: Optional[str]
    macro: Optional[str]
    action: Optional[str]
    url: Optional[str]
    keyword: Optional[str]
    target: Optional[int]
    invisible: bool


class PictureHotspot(NamedTuple):
    """A hotspot of a picture: its rectangle in the pixels of ``png()``.

    ``left`` and ``top`` are inclusive, ``right`` and ``bottom`` exclusive.
    The other fields mean what they mean in Hotspot; ``name`` is the name the
    picture gives the hotspot, often empty.
    """

    left: int
    top: int
    right: int
    bottom: int
    kind: str
    name: str
    context: Optional[str]
    hash: Optional[int]
    file: Optional[str]
    window: Optional[str]
    macro: Optional[str]
    action: Optional[str]
    url: Optional[str]
    keyword: Optional[str]
    target: Optional[int]


# They belong to the package's interface: shown and pickled as quillon.X.
for _record in (Error, Title, Context, KeywordEntry, Keyword, File, Window, Hotspot, PictureHotspot):
    _record.__module__ = "quillon"
del _record
