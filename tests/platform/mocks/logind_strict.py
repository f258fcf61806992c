'''The dbusmock logind template with an Inhibit that refuses like older or stricter hosts.

Parameters:
  RejectedModes: list of modes answered with InvalidArgs (systemd before 257 does so with
                 "block-weak")
  Denied: true to answer every Inhibit with AccessDenied, as a refusing polkit would
'''

import dbus

from dbusmock.templates import logind as _logind
from dbusmock.templates.logind import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import


def load(mock, parameters):
    _logind.load(mock, parameters)
    mock.rejected_modes = [str(mode) for mode in parameters.get('RejectedModes', [])]
    mock.denied = bool(parameters.get('Denied', False))


@dbus.service.method(_logind.MAIN_IFACE, in_signature='ssss', out_signature='h')
def Inhibit(self, what, who, why, mode):
    if self.denied:
        raise dbus.exceptions.DBusException('Permission denied',
                                            name='org.freedesktop.DBus.Error.AccessDenied')
    if mode in self.rejected_modes:
        raise dbus.exceptions.DBusException(f'Invalid mode specification {mode}',
                                            name='org.freedesktop.DBus.Error.InvalidArgs')
    return _logind.Inhibit(self, what, who, why, mode)
