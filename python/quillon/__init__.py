"""Compiled Windows Help files (.HLP) from Python, without the help viewer.

    import quillon

    with quillon.open("guide.hlp") as help_file:
        print(help_file.title)
        for topic in help_file.topics():
            print(topic.title, len(topic.text))
        for picture in help_file.pictures():
            with open(picture.name.lstrip("|") + ".png", "wb") as out:
                out.write(picture.png())

Text is str, decoded from the help file's code page; the bytes of internal
files and pictures are bytes.  Failures raise quillon.Error, an OSError with
the path and what failed.  Help files keep only hashes of their context
strings: hash() computes one, context_string() makes up a string for one.
"""

from quillon._types import (
    Context,
    Error,
    File,
    Hotspot,
    Keyword,
    KeywordEntry,
    PictureHotspot,
    Title,
    Window,
)
from quillon._quillon import (
    HelpFile,
    Topic,
    TopicIterator,
    PictureIterator,
    __version__,
    context_string,
    hash,
    open,
    shg_to_png,
)

# help() shows them as the package's own.
for _function in (context_string, hash, open, shg_to_png):
    _function.__module__ = __name__
del _function

__all__ = [
    "Context",
    "Error",
    "File",
    "HelpFile",
    "Hotspot",
    "Keyword",
    "KeywordEntry",
    "PictureHotspot",
    "PictureIterator",
    "Title",
    "Topic",
    "TopicIterator",
    "Window",
    "context_string",
    "hash",
    "open",
    "shg_to_png",
]

try:
    from quillon._quillon import Picture
except ImportError:  # built without the picture layer (no libpng or libwmf)
    pass
else:
    __all__.append("Picture")
