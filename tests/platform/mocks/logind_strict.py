'''The dbusmock logind template with an Inhibit that refuses like older or stricter hosts.

Parameters: RejectedModes (modes answered with InvalidArgs, as systemd before 257 does with
"block-weak"), Denied (AccessDenied for every call, as a refusing polkit), AllowedCalls (calls
granted before every further one is denied), DeniedWhat (what-parts such as "handle-lid-switch"
denied, as outside a login session). ForgetInhibitors() drops every inhibitor while its fd stays
open, as a logind that restarted or lost track over a suspend.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject
from dbusmock.templates import logind as _logind
from dbusmock.templates.logind import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import


class _Forgetful(list):
    '''An inhibitor list whose entries may already be gone when their fd closes.'''

    def remove(self, value):
        if value in self:
            super().remove(value)


def load(mock, parameters):
    _logind.load(mock, parameters)
    mock.rejected_modes = [str(mode) for mode in parameters.get('RejectedModes', [])]
    mock.denied = bool(parameters.get('Denied', False))
    mock.allowed_calls = int(parameters.get('AllowedCalls', -1))
    mock.denied_what = [str(what) for what in parameters.get('DeniedWhat', [])]
    mockobject.inhibitors = _Forgetful()


def _deny():
    raise dbus.exceptions.DBusException('Permission denied',
                                        name='org.freedesktop.DBus.Error.AccessDenied')


@dbus.service.method(_logind.MAIN_IFACE, in_signature='ssss', out_signature='h')
def Inhibit(self, what, who, why, mode):
    if self.denied or self.allowed_calls == 0:
        _deny()
    if any(part in self.denied_what for part in what.split(':')):
        _deny()
    if mode in self.rejected_modes:
        raise dbus.exceptions.DBusException(f'Invalid mode specification {mode}',
                                            name='org.freedesktop.DBus.Error.InvalidArgs')
    if self.allowed_calls > 0:
        self.allowed_calls -= 1
    return _logind.Inhibit(self, what, who, why, mode)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def ForgetInhibitors(_):
    del mockobject.inhibitors[:]
