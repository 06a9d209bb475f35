#!/usr/bin/env python3
"""Plays a macro on the running Pelkora keyer and prints its state changes.

    pelkora_client.py MACRO [--call CALL] [--rs RS] [--timeout SECONDS]

Prints one line per State signal ("111 tx-on", "110 tx-off", ...) and ends
once the transmitter is released, or after --timeout seconds (default 30).
Needs python3-dbus-next. Exit status: 0 done, 3 no keyer on the session bus,
4 the call failed or the transmitter was not released in time.
"""
import argparse
import asyncio
import sys

from dbus_next.aio import MessageBus
from dbus_next.errors import DBusError

SERVICE = "org.pelkora.Pelkora"
PATH = "/org/pelkora/Pelkora"
INTERFACE = "org.pelkora.Pelkora"
STATES = {100: "resumed", 101: "paused", 110: "tx-off", 111: "tx-on"}
TX_OFF = 110


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("macro", help="macro text, e.g. '~[tx]~[ec]~[er]~[rx]'")
    parser.add_argument("--call", default="", help="the call sign for ~[ec]")
    parser.add_argument("--rs", default="", help="the report for ~[er]")
    parser.add_argument("--timeout", type=float, default=30.0)
    return parser.parse_args()


async def play(args):
    bus = await MessageBus().connect()
    try:
        introspection = await bus.introspect(SERVICE, PATH)
    except DBusError as error:
        print(f"no keyer on the session bus ({SERVICE}): {error.text}", file=sys.stderr)
        return 3
    keyer = bus.get_proxy_object(SERVICE, PATH, introspection).get_interface(INTERFACE)
    released = asyncio.Event()

    def on_state(code):
        print(f"{code} {STATES.get(code, '')}".rstrip(), flush=True)
        if code == TX_OFF:
            released.set()

    # Listening starts before the call, so that no state change is missed.
    keyer.on_state(on_state)
    try:
        await keyer.call_play_macros(args.macro, args.call, args.rs)
        await asyncio.wait_for(released.wait(), args.timeout)
    except DBusError as error:
        print(f"the call failed: {error.type}: {error.text}", file=sys.stderr)
        return 4
    except asyncio.TimeoutError:
        print(f"the transmitter was not released within {args.timeout} s", file=sys.stderr)
        return 4
    finally:
        bus.disconnect()
    return 0


if __name__ == "__main__":
    sys.exit(asyncio.run(play(arguments())))
