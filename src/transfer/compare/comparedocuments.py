#!/usr/bin/env python3
"""Compares two versions of a text document with LibreOffice, headless.

Starts its own LibreOffice (a private profile, listening on a pipe), loads the
newer version hidden, runs LibreOffice's document comparison against the older
one, so that every difference becomes a tracked change (what was inserted and
what was deleted on the way from the older to the newer version), and stores the
result. The desktop then opens the result like any document.

    python3 comparedocuments.py --soffice PATH --profile DIR \
        --older FILE --newer FILE --out FILE

Exit status 0 when the result was written; otherwise a short reason on
standard error.
"""

import argparse
import os
import signal
import subprocess
import sys
import time
import uuid

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException
from com.sun.star.lang import DisposedException

# Filters that keep tracked changes, by the extension of the result.
FILTERS = {
    "docx": "MS Word 2007 XML",
    "doc": "MS Word 97",
    "odt": "writer8",
    "rtf": "Rich Text Format",
}

START_TIMEOUT_S = 120

office = None


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def stop_office(signum=None, frame=None):
    if office is not None and office.poll() is None:
        try:
            os.killpg(office.pid, signal.SIGKILL)
        except OSError:
            pass
    if signum is not None:
        sys.exit(3)


def connect(soffice, profile):
    global office
    pipe = "folvane_compare_" + uuid.uuid4().hex
    office = subprocess.Popen(
        [soffice, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
         "--nolockcheck", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
         "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + START_TIMEOUT_S
    while True:
        try:
            return resolver.resolve(
                "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        except NoConnectException:
            if office.poll() is not None:
                raise RuntimeError("LibreOffice ended before it accepted a connection")
            if time.monotonic() > deadline:
                raise RuntimeError("LibreOffice did not start in time")
            time.sleep(0.2)


def compare(ctx, older, newer, out):
    smgr = ctx.ServiceManager
    desktop = smgr.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
    doc = desktop.loadComponentFromURL(
        uno.systemPathToFileUrl(newer), "_blank", 0, (prop("Hidden", True),))
    if doc is None:
        raise RuntimeError("LibreOffice cannot open the newer version")
    try:
        frame = doc.getCurrentController().getFrame()
        dispatcher = smgr.createInstanceWithContext("com.sun.star.frame.DispatchHelper", ctx)
        dispatcher.executeDispatch(
            frame, ".uno:CompareDocuments", "", 0,
            (prop("URL", uno.systemPathToFileUrl(older)), prop("NoAcceptDialog", True)))
        # Shown as changes when the result is opened.
        doc.RecordChanges = True
        doc.ShowChanges = True
        ext = os.path.splitext(out)[1].lstrip(".").lower()
        doc.storeToURL(uno.systemPathToFileUrl(out),
                       (prop("FilterName", FILTERS.get(ext, "MS Word 2007 XML")),
                        prop("Overwrite", True)))
    finally:
        doc.close(True)
    try:
        desktop.terminate()
    except DisposedException:
        pass


def main():
    parser = argparse.ArgumentParser()
    for name in ("--soffice", "--profile", "--older", "--newer", "--out"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, stop_office)
    signal.signal(signal.SIGINT, stop_office)
    try:
        ctx = connect(args.soffice, os.path.abspath(args.profile))
        compare(ctx, os.path.abspath(args.older), os.path.abspath(args.newer),
                os.path.abspath(args.out))
        try:
            office.wait(timeout=30)
        except subprocess.TimeoutExpired:
            pass
    except Exception as e:  # the reason goes to the client, which shows it
        sys.stderr.write("%s\n" % e)
        return 1
    finally:
        stop_office()
    return 0 if os.path.isfile(args.out) else 1


if __name__ == "__main__":
    sys.exit(main())
