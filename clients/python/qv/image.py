"""A supervisor's view of a program's image: attach by name, read and write variables by
name, drive the program, force, trace, set breakpoints, and wait for conditions.

The parts live in modules of their own, as the supervisor's core does: the image view
(view), values (values), driving and waiting (control), trace and breakpoint lists
(lists)."""

from .control import Control
from .lists import Lists, QvFull
from .values import TICKS_PER_DAY, TICKS_PER_SECOND, Values
from .view import ImageView, status_name

__all__ = ["Image", "QvFull", "TICKS_PER_DAY", "TICKS_PER_SECOND", "status_name"]


class Image(Lists, Control, Values, ImageView):
    """The image `name` (default: QV_MEMORY_NAME, else "Shared"), mapped read-write.

    The header is checked against the image's real size before anything else is read, so
    a malformed or foreign image raises ImageError instead of being trusted. The program
    is recognised as qvctl recognises it; `model` insists on a program, `symbols` names a
    symbol description to use when the program has no table of its own."""
