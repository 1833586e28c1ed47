#!/usr/bin/env python3
"""Compares the request driver's two runs, the Linux one and the Windows one.

    compare.py KNOWN LINUX_OUT LINUX_LOG [WINDOWS_OUT WINDOWS_LOG]

*_OUT is the driver's console output (one "case" line per case, "end" at
the end), *_LOG the wire site's log lines of that run ("<case>\\t<request
escaped>"). Prints one table row per case: requests same/differ, outputs
same/differ/known, and the first difference. KNOWN is the table of known
differences (known_differences.txt): a difference it explains is shown as
"known", with its reason; every other one is a failure.

With the Linux run alone, checks that it is whole (every case printed, the
end line reached) and prints its table without comparison.

Exit code: 0 when every difference is known, 1 otherwise (or when a run is
not whole).
"""
import fnmatch
import sys


def read_cases(path):
    """Case name -> {field: value} in the order printed; and whether "end" came."""
    cases, ended = {}, False
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line == "end":
                ended = True
            elif line.startswith("case\t"):
                parts = line.split("\t")
                fields = {}
                for part in parts[2:]:
                    name, _, value = part.partition("=")
                    fields[name] = value
                cases[parts[1]] = fields
    return cases, ended


def read_requests(path):
    """Case name -> list of requests, each a list of its escaped lines."""
    requests = {}
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            name, _, raw = line.rstrip("\n").partition("\t")
            requests.setdefault(name, []).append(raw.split("\\r\\n"))
    return requests


def read_known(path):
    """Rows (case pattern, item, rule, reason, recorded difference)."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.rstrip("\n").split("\t")
            pattern, item, rule, reason = fields[:4]
            rows.append((pattern, item, rule, reason, fields[4] if len(fields) > 4 else ""))
    return rows


def status_line_first(linux, windows):
    """The Windows value is the Linux one with an HTTP status line ahead."""
    head, sep, rest = windows.partition("\\r\\n")
    return bool(sep) and head.startswith("HTTP/") and rest == linux


def windows_call_failed(linux, windows):
    """The Windows value is what a failed call leaves: status 0, no body,
    no text (or the routine's blank text)."""
    return windows.strip(" ") in ("0", "0:", "")


def linux_call_failed(linux, windows):
    """The Linux value is what a failed call leaves: status 0, no body, no
    text (the call that the system refuses and wine lets through)."""
    return windows_call_failed(windows, linux)


def follows_from_request(linux, windows):
    """Any value: the case's recorded request difference accounts for it
    (an echo of a body that differs)."""
    return True


RULES = {
    "status-line-first": status_line_first,
    "windows-call-failed": windows_call_failed,
    "linux-call-failed": linux_call_failed,
    "follows-from-request": follows_from_request,
}


def explained(known, case, item, linux, windows):
    """The number (from 1) of the known difference that explains this one."""
    for number, (pattern, known_item, rule, _, _) in enumerate(known, 1):
        if (fnmatch.fnmatchcase(case, pattern) and known_item in (item, "*")
                and rule in RULES):
            if RULES[rule](linux, windows):
                return number
    return None


def recorded(known, case, note):
    """The number of the row that records exactly this request difference,
    so that any other or further difference still fails."""
    for number, (pattern, item, rule, _, difference) in enumerate(known, 1):
        if item == "requests" and rule == "as-recorded" and pattern == case and difference == note:
            return number
    return None


def first_text_difference(a, b):
    i = 0
    while i < len(a) and i < len(b) and a[i] == b[i]:
        i += 1
    start = max(0, i - 20)
    return f"at {i}: linux ...{a[start:i + 40]!s} / windows ...{b[start:i + 40]!s}"


def describe_request_difference(a, b):
    """What differs between two requests' lines (the first differs)."""
    head_a, head_b = a[:a.index("") if "" in a else len(a)], b[:b.index("") if "" in b else len(b)]
    only_a = [line for line in head_a if line not in head_b]
    only_b = [line for line in head_b if line not in head_a]
    parts = []
    if head_a[:1] != head_b[:1]:
        parts.append(f"request line: linux '{head_a[0][:60]}' / windows '{head_b[0][:60]}'")
    if only_a:
        parts.append("only linux: " + ", ".join(f"'{line[:50]}'" for line in only_a))
    if only_b:
        parts.append("only windows: " + ", ".join(f"'{line[:50]}'" for line in only_b))
    common_a = [line for line in head_a[1:] if line in head_b]
    common_b = [line for line in head_b[1:] if line in head_a]
    if common_a != common_b:
        names_a = ",".join(line.partition(":")[0] for line in common_a)
        names_b = ",".join(line.partition(":")[0] for line in common_b)
        parts.append(f"header order: linux {names_a} / windows {names_b}")
    if not parts:
        parts.append("the bodies differ")
    return "; ".join(parts)


def compare_requests(linux, windows):
    """None when equal, else the first difference."""
    if len(linux) != len(windows):
        return f"{len(linux)} request(s) on linux, {len(windows)} on windows"
    for n, (a, b) in enumerate(zip(linux, windows), 1):
        if a != b:
            return f"request {n}: {describe_request_difference(a, b)}"
    return None


def compare_outputs(known, case, linux, windows):
    """(state, first difference): state same, known or differ."""
    state, note = "same", ""
    for item in list(linux) + [k for k in windows if k not in linux]:
        a, b = linux.get(item, "(none)"), windows.get(item, "(none)")
        if a == b:
            continue
        row = explained(known, case, item, a, b)
        if row is not None:
            if state == "same":
                state, note = "known", f"{item}: known #{row}"
            continue
        return "differ", f"{item} {first_text_difference(a, b)}"
    return state, note


def main(argv):
    if len(argv) not in (4, 6):
        print(__doc__)
        return 2
    known = read_known(argv[1])
    linux, linux_ended = read_cases(argv[2])
    linux_requests = read_requests(argv[3])
    failed = not linux_ended
    if not linux_ended:
        print("the Linux run did not reach its end line")
    if not linux:
        print("the Linux run printed no case")
        failed = True
    # A case that reached the server on neither side would compare as the
    # same: every case must have reached it from Linux at least.
    for case in linux:
        if case not in linux_requests:
            print(f"{case}: no request of the Linux run reached the wire site")
            failed = True
    if len(argv) == 4:
        for case, fields in linux.items():
            count = len(linux_requests.get(case, []))
            status = fields.get("status", "-")
            print(f"{case:24} {count} request(s)  status {status}  body {fields['body'][:30]}")
        return 1 if failed else 0

    windows, windows_ended = read_cases(argv[4])
    windows_requests = read_requests(argv[5])
    if not windows_ended:
        print("the Windows run did not reach its end line")
        failed = True
    print(f"{'case':24} {'requests':9} {'outputs':8} first difference")
    for case in list(linux) + [c for c in windows if c not in linux]:
        if case not in linux or case not in windows:
            side = "linux" if case not in linux else "windows"
            print(f"{case:24} {'-':9} {'missing':8} no line on {side}")
            failed = True
            continue
        request_note = compare_requests(linux_requests.get(case, []),
                                        windows_requests.get(case, []))
        requests = "same" if request_note is None else "differ"
        if request_note is not None:
            row = recorded(known, case, request_note)
            if row is not None:
                requests, request_note = "known", f"{request_note} (known #{row})"
        outputs, output_note = compare_outputs(known, case, linux[case], windows[case])
        note = request_note if request_note is not None else output_note
        if request_note is not None and output_note:
            note += f"; {output_note}"
        print(f"{case:24} {requests:9} {outputs:8} {note}")
        failed = failed or requests == "differ" or outputs == "differ"
    for number, (pattern, item, rule, reason, _) in enumerate(known, 1):
        print(f"known #{number} ({pattern} {item}, {rule}): {reason}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
