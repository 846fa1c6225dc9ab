#!/usr/bin/env python3
"""A minimal host: runs voxline, shows the words as they come, and sends "stop"
when the user presses Enter. The standard library only.

    python3 examples/host.py [path/to/voxline]
"""
import json
import subprocess
import sys
import threading

FAILURES = {
    2: "permission refused",
    3: "no speech recognition model for this language",
    5: "the microphone cannot be used",
}

program = sys.argv[1] if len(sys.argv) > 1 else "voxline"
try:
    voxline = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
except OSError as error:
    sys.exit(f"cannot start {program}: {error}")


def stop_on_enter():
    # Enter, or the end of our own input, ends listening.
    sys.stdin.readline()
    try:
        voxline.stdin.write("stop\n")
        voxline.stdin.close()
    except BrokenPipeError:
        pass  # it has ended already


for line in voxline.stdout:
    event = json.loads(line)
    if event.get("state") == "listening":
        print("listening; press Enter to stop", file=sys.stderr)
        threading.Thread(target=stop_on_enter, daemon=True).start()
    elif "error" in event:
        print(f"voxline failed: {event['error']}", file=sys.stderr)
    elif event["final"]:
        # The final line replaces the last partial line: it may differ from it.
        print(f"\r\033[K{event['text']}")
    else:
        # Each partial line is the whole text so far, not just the new words.
        print(f"\r\033[K{event['text']}", end="", flush=True)

status = voxline.wait()
if status < 0:
    sys.exit(f"voxline was ended by signal {-status}")
if status != 0:
    print(FAILURES.get(status, f"voxline exited with status {status}"), file=sys.stderr)
sys.exit(status)
