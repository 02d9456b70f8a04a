# Runs a command on a new pseudo-terminal, answers its password prompts (the current
# password "s3cret", then, when a new one is asked, an empty line) and prints what the
# terminal showed.
# With --interrupt first, it types Ctrl-C at the first prompt instead and tells whether
# the terminal echoes again afterwards.
import os, pty, select, sys, termios

interrupt = sys.argv[1] == "--interrupt"
command = sys.argv[2:] if interrupt else sys.argv[1:]
pid, fd = pty.fork()
if pid == 0:
    os.execv(command[0], command)
shown = b""

def read_until(marker):
    """Reads until marker shows (True) or the command ends (False)."""
    global shown
    while marker is None or marker not in shown:
        ready, _, _ = select.select([fd], [], [], 20)
        if not ready:
            sys.exit("no prompt: %r" % shown)
        try:
            data = os.read(fd, 1024)
        except OSError:  # the command has ended
            data = b""
        if not data:
            return False
        shown += data
    return True

read_until(b"Password: ")
if interrupt:
    echoing = lambda: bool(termios.tcgetattr(fd)[3] & termios.ECHO)
    print("echo at the prompt:", echoing())
    os.write(fd, b"\x03")
    _, status = os.waitpid(pid, 0)
    print("ended by signal", os.WTERMSIG(status), "echo restored:", echoing())
    sys.exit(0)
os.write(fd, b"s3cret\n")
if read_until(b"(empty keeps it): "):
    os.write(fd, b"\n")
    read_until(None)
_, status = os.waitpid(pid, 0)
sys.stdout.write(shown.decode().replace("\r", ""))
print("status", os.waitstatus_to_exitcode(status))
print("password shown:", b"s3cret" in shown)
