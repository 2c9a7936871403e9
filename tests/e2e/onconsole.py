"""Runs a command on a terminal of its own, as a user at a console would,
and presses Ctrl-C once the terminal shows a pattern.

    onconsole.py OUTPUT PATTERN PROGRAM COMMAND...

Wine delivers a console's Ctrl-C to a program attached to that console as
SIGINT; it goes to the process whose command line starts with PROGRAM (a
name, with or without its folder). What the terminal showed, without the
console's cursor movements, is written to OUTPUT; the exit code is the
command's.
"""
import os
import pty
import re
import select
import sys

output, pattern, program, command = sys.argv[1], re.compile(sys.argv[2]), sys.argv[3], sys.argv[4:]
pid, terminal = pty.fork()
if pid == 0:
    os.execvp(command[0], command)


def plain(raw):
    # Wine's console moves the cursor over a space: ESC [ n C.
    raw = re.sub(rb'\x1b\[([0-9]*)C', lambda m: b' ' * int(m.group(1) or 1), raw)
    return re.sub(rb'\x1b\[[0-9;?]*[A-Za-z]', b'', raw).decode(errors='replace')


def target():
    for entry in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open('/proc/%s/cmdline' % entry) as f:
                first = f.read().split('\0')[0]
        except OSError:
            continue
        if first.replace('\\', '/').rsplit('/', 1)[-1] == program:
            return int(entry)
    return None


shown, sent = b'', False
while True:
    if not sent and pattern.search(plain(shown)):
        found = target()
        if found:
            os.kill(found, 2)
            sent = True
    if select.select([terminal], [], [], 0.1)[0]:
        try:
            data = os.read(terminal, 4096)
        except OSError:  # the terminal's last user has gone
            break
        if not data:
            break
        shown += data
_, status = os.waitpid(pid, 0)
with open(output, 'w') as f:
    f.write(plain(shown))
sys.exit(os.waitstatus_to_exitcode(status))
