#!/usr/bin/env python3
"""Asks an X window to close, as its title bar's close box would: sends it the
WM_DELETE_WINDOW message of the WM_PROTOCOLS, which a program handles as the
user's close (xdotool's windowclose destroys the window instead, and there is no
window manager under Xvfb to do it).
    x11-close.py WINDOW-ID
"""
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


CLIENT_MESSAGE = 33
window = int(sys.argv[1], 0)
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("x11-close: cannot open the display")
event = ClientMessage(type=CLIENT_MESSAGE, window=window, format=32,
                      message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0))
event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
if not x11.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit("x11-close: the message could not be sent")
x11.XFlush(display)
x11.XCloseDisplay(display)
