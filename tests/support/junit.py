"""JUnit reports for the Python test scripts: when CTest runs a script (ORVELLE_TEST_REPORTS and
ORVELLE_TEST_NAME set) its cases are written where the run's summary counts them one by one."""
import os
import unittest
from xml.sax.saxutils import quoteattr


def write(cases):
    """cases: (name, result, detail) with result one of "pass", "fail", "skip"."""
    folder, name = os.environ.get("ORVELLE_TEST_REPORTS"), os.environ.get("ORVELLE_TEST_NAME")
    if not folder or not name:
        return
    failures = sum(1 for _, result, _ in cases if result == "fail")
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<testsuites tests="%d" failures="%d" name=%s>' % (len(cases), failures,
                                                               quoteattr(name)),
             '  <testsuite name=%s tests="%d" failures="%d">' % (quoteattr(name), len(cases),
                                                                failures)]
    for case, result, detail in cases:
        if result == "pass":
            lines.append('    <testcase name=%s status="run" result="completed"/>' %
                         quoteattr(case))
        elif result == "skip":
            lines.append('    <testcase name=%s status="run" result="skipped"><skipped message=%s/>'
                         '</testcase>' % (quoteattr(case), quoteattr(detail)))
        else:
            lines.append('    <testcase name=%s status="run" result="completed"><failure message=%s/>'
                         '</testcase>' % (quoteattr(case), quoteattr(detail)))
    lines += ["  </testsuite>", "</testsuites>", ""]
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name + ".xml")
    with open(path + ".part", "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    os.replace(path + ".part", path)


class RecordingResult(unittest.TextTestResult):
    """A unittest result that also keeps every case's outcome for the report."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.cases = []

    def addSuccess(self, test):
        super().addSuccess(test)
        self.cases.append((test.id(), "pass", ""))

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self.cases.append((test.id(), "fail", str(err[1])[:500]))

    def addError(self, test, err):
        super().addError(test, err)
        self.cases.append((test.id(), "fail", str(err[1])[:500]))

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self.cases.append((test.id(), "skip", reason))

    def addExpectedFailure(self, test, err):
        super().addExpectedFailure(test, err)
        self.cases.append((test.id(), "pass", ""))

    def addUnexpectedSuccess(self, test):
        super().addUnexpectedSuccess(test)
        self.cases.append((test.id(), "fail", "unexpected success"))
