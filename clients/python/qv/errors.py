"""The errors the client raises. Every one of them is a QvError."""


class QvError(Exception):
    """Anything the client refuses or fails to do."""


class ImageError(QvError):
    """No such image, an image no program has laid out, a malformed image, or an image
    that holds another program than the one asked for."""


class UnknownVariable(QvError, KeyError):
    """A name that is neither a control variable, a symbol of the program nor a slot."""

    def __str__(self):  # KeyError would print the message in quotes
        return str(self.args[0]) if self.args else ""


class RefusedWrite(QvError, ValueError):
    """A value that does not fit the variable, or a control write that makes no sense
    (an unknown status, a period of zero): nothing was written."""


class ProgramError(QvError):
    """The program is not running, has ended, or did not take a command in time."""


class WaitTimeout(QvError, AssertionError):
    """A condition did not come true in the time or the cycles allowed."""
