"""Scripting and testing simulation programs through their shared memory image.

    import qv

    with qv.start("bistable_cylinder", speed="max") as cylinder:
        cylinder["DS"] = True
        cylinder.run()
        cylinder.wait_until("Def_verin", cycles=400)

Standard library only. `qv.Image` attaches to an image by name; `qv.start` starts a
program on a private image for the length of a `with` block."""

from .errors import ImageError, ProgramError, QvError, RefusedWrite, UnknownVariable, WaitTimeout
from .image import Image, status_name
from .plant import Plant
from .process import Program, start
from .symbols import Variable

__all__ = ["Image", "ImageError", "Plant", "Program", "ProgramError", "QvError", "RefusedWrite",
           "UnknownVariable", "Variable", "WaitTimeout", "start", "status_name"]
__version__ = "0.1.0"
