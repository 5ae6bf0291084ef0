#!/usr/bin/python3
# python3-dbusmock's logind on the bus DBUS_SYSTEM_BUS_ADDRESS names, with
# what its template lacks: the caller's own session as logind names it
# ("auto") and its SetBrightness, which writes the level into the sysfs
# tree given as the first argument, as logind writes the kernel's. The
# second argument says how it answers: "writes", "ignores" (answers
# without writing) or "refuses". Prints "ready" once it serves.
import ctypes
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
import dbusmock

root, mode = sys.argv[1], sys.argv[2]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
name = dbus.service.BusName('org.freedesktop.login1', bus, do_not_queue=True)
manager = dbusmock.mockobject.DBusMockObject(name, '/org/freedesktop/login1',
                                             'org.freedesktop.login1.Manager', {}, os.devnull)
manager.AddTemplate('logind', None)
dbusmock.mockobject.objects['/org/freedesktop/login1'] = manager
session = manager.AddSession('auto', 'seat0', dbus.UInt32(os.getuid()), 'user', True)

# logind takes a device of its own sysfs by subsystem and name alone.
check = ('if args[0] != "backlight" or "/" in args[1] or not os.path.isdir(%r + "/class/backlight/" + args[1]): '
         'raise dbus.exceptions.DBusException("No such device", name="org.freedesktop.DBus.Error.InvalidArgs")\n'
         % root)
answer = {
    'writes': 'open(%r + "/class/backlight/" + args[1] + "/brightness", "w").write(str(args[2]))' % root,
    'ignores': 'pass',
    'refuses': 'raise dbus.exceptions.DBusException("Access denied", '
               'name="org.freedesktop.DBus.Error.AccessDenied")',
}[mode]
dbusmock.mockobject.objects[session].AddMethod('org.freedesktop.login1.Session', 'SetBrightness', 'ssu', '',
                                               check + answer)
print('ready', flush=True)
glib = ctypes.cdll.LoadLibrary('libglib-2.0.so.0')
while True:
    glib.g_main_context_iteration(None, True)
