#!/usr/bin/python3
"""Makes a Windows Installer package built by wixl reproducible.

    /usr/bin/python3 tools/msi_summary.py PACKAGE.msi EPOCH INPUT...

wixl writes a random package code and the current time into the package's
summary information; everything else it writes follows from its inputs.
This replaces the package code with one derived from the bytes of INPUT...
(the files the package is built from: a different package still gets a
different code, as Windows Installer requires) and both times with EPOCH
(seconds since 1970, e.g. SOURCE_DATE_EPOCH).

Needs Debian's python3 with the libmsi bindings (gir1.2-libmsi-1.0).
"""

import hashlib
import sys
import uuid

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402

# Any fixed namespace: the package codes of Omenglobe's installers.
NAMESPACE = uuid.UUID("6f6d656e-676c-4f62-8500-0000000a0004")
# FILETIME counts 100 ns steps from 1601-01-01.
FILETIME_1970 = 116444736000000000


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    package, epoch, inputs = argv[1], int(argv[2]), argv[3:]
    digest = hashlib.sha256()
    for name in inputs:
        with open(name, "rb") as f:
            digest.update(hashlib.sha256(f.read()).digest())
    code = "{" + str(uuid.uuid5(NAMESPACE, digest.hexdigest())).upper() + "}"
    when = FILETIME_1970 + epoch * 10_000_000

    db = Libmsi.Database.new(package, Libmsi.DbFlags.TRANSACT, None)
    summary = Libmsi.SummaryInfo.new(db, 10)
    summary.set_string(Libmsi.Property.UUID, code)
    summary.set_filetime(Libmsi.Property.CREATED_TM, when)
    summary.set_filetime(Libmsi.Property.LASTSAVED_TM, when)
    summary.persist()
    db.commit()


if __name__ == "__main__":
    main(sys.argv)
