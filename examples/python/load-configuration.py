#!/usr/bin/env python3
"""A caller of qor-config through GObject Introspection: loads this
distribution's configuration without blocking, in a GLib main loop, and
prints its seven lists. Exits with 1 when there is no configuration.

    GI_TYPELIB_PATH=<libdir>/girepository-1.0 python3 load-configuration.py

(GI_TYPELIB_PATH and LD_LIBRARY_PATH only for an installation outside the
usual places.)"""
import sys

import gi

gi.require_version("Qor", "1.0")
from gi.repository import GLib, Qor  # noqa: E402

LISTS = ("errors", "sources", "keys", "docs", "INSTALL", "install", "upgrade")


def main():
    loop = GLib.MainLoop()
    status = 0

    def loaded(_source, result):
        nonlocal status
        try:
            config = Qor.get_configuration_finish(result)
        except GLib.Error as error:
            print(f"Config not found at {Qor.get_config_url()}: {error.message}")
            status = 1
        else:
            for name in LISTS:
                values = getattr(config, "get_" + name)()
                print(f"{name}: {'(absent)' if values is None else ' | '.join(values)}")
        loop.quit()

    info = Qor.get_distro_information()
    print(f"distribution: {info.distributor} {info.codename}")
    Qor.get_configuration_async(None, loaded)
    loop.run()
    return status


if __name__ == "__main__":
    sys.exit(main())
