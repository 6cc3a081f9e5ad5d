"""Two private D-Bus daemons for the desk-event tests: one as the session bus, one standing
in for the system bus, with the services that tell a program the user has left the desk.

  desk_bus.py COMMANDS_FIFO

Prints "session ADDRESS", "system ADDRESS" and "ready". Then it owns
org.freedesktop.ScreenSaver and org.gnome.ScreenSaver on the session bus and
org.freedesktop.login1 on the other, answering logind's GetSessionByPID, GetSession and
Inhibit (a "delay" lock whose end it reports as "released"). Each line read from
COMMANDS_FIFO sends a signal and is answered with "sent COMMAND":

  screensaver | gnome     ActiveChanged(true) from the owner of that screen saver's name
  sleep | lock            PrepareForSleep(true), or Lock on the caller's session, from logind
  stranger-screensaver, stranger-sleep, stranger-lock
                          the same, sent by a connection that owns no name

The daemons die with this script, and it dies with the test.
"""
import ctypes
import os
import signal
import subprocess
import sys

import dbus
import dbus.lowlevel
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SESSION_PATH = "/org/freedesktop/login1/session/_3quillet"
LOGIND_PATH = "/org/freedesktop/login1"
LOGIND_MANAGER = "org.freedesktop.login1.Manager"


def die_with_parent():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def start_daemon(role):
    # An abstract socket: a killed daemon leaves no file behind.
    address = "unix:abstract=quillet_desk_%s_%d_%s" % (role, os.getpid(), os.urandom(6).hex())
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1", "--address=" + address],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
    return daemon, daemon.stdout.readline().decode().strip()


class Logind(dbus.service.Object):
    def __init__(self, connection):
        super().__init__(connection, LOGIND_PATH)
        self.delays = []

    @dbus.service.method(LOGIND_MANAGER, in_signature="u", out_signature="o")
    def GetSessionByPID(self, pid):
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method(LOGIND_MANAGER, in_signature="s", out_signature="o")
    def GetSession(self, name):
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method(LOGIND_MANAGER, in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        read_end, write_end = os.pipe()
        print("inhibited %s %s" % (what, mode), flush=True)

        def released(fd, condition):
            os.close(fd)
            print("released", flush=True)
            return False

        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_IN, released)
        handed = dbus.types.UnixFd(write_end)
        os.close(write_end)  # the message holds its own copy
        return handed


def signal_message(path, interface, member, *boolean):
    message = dbus.lowlevel.SignalMessage(path, interface, member)
    if boolean:
        message.append(boolean[0], signature="b")
    return message


def main():
    die_with_parent()  # a test that is killed takes this script, and so the daemons, along
    DBusGMainLoop(set_as_default=True)
    daemons = [start_daemon("session"), start_daemon("system")]
    session_address, system_address = daemons[0][1], daemons[1][1]
    session = dbus.bus.BusConnection(session_address)
    system = dbus.bus.BusConnection(system_address)
    session_stranger = dbus.bus.BusConnection(session_address)
    system_stranger = dbus.bus.BusConnection(system_address)
    for name in ("org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"):
        session.request_name(name, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    system.request_name("org.freedesktop.login1", dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    logind = Logind(system)

    signals = {
        "screensaver": (signal_message("/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", True), "session"),
        "gnome": (signal_message("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", "ActiveChanged", True), "session"),
        "sleep": (signal_message(LOGIND_PATH, LOGIND_MANAGER, "PrepareForSleep", True), "system"),
        "lock": (signal_message(SESSION_PATH, "org.freedesktop.login1.Session", "Lock"), "system"),
    }
    senders = {("session", False): session, ("system", False): system,
               ("session", True): session_stranger, ("system", True): system_stranger}

    def command(fd, condition):
        for line in os.read(fd, 4096).decode().split():
            stranger = line.startswith("stranger-")
            message, bus = signals[line.removeprefix("stranger-")]
            connection = senders[(bus, stranger)]
            connection.send_message(message)
            connection.flush()
            print("sent " + line, flush=True)
        return True

    # Opened read-write, so that the pipe stays open between the test's writes.
    commands = os.open(sys.argv[1], os.O_RDWR | os.O_NONBLOCK)
    GLib.io_add_watch(commands, GLib.IO_IN, command)
    print("session " + session_address, flush=True)
    print("system " + system_address, flush=True)
    print("ready", flush=True)
    # Runs until the test kills it; the daemons go with it.
    GLib.MainLoop().run()
    del logind


if __name__ == "__main__":
    main()
