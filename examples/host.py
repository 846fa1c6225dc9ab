#!/usr/bin/env python3
"""A minimal host: runs voxline, shows the words as they come, and sends "stop"
when the user presses Enter."""
import json
import subprocess
import sys
import threading

program = sys.argv[1] if len(sys.argv) > 1 else "build/voxline"
voxline = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)


def stop_on_enter():
    sys.stdin.readline()
    voxline.stdin.write("stop\n")
    voxline.stdin.flush()


for line in voxline.stdout:
    event = json.loads(line)
    if event.get("state") == "listening":
        print("listening; press Enter to stop", file=sys.stderr)
        threading.Thread(target=stop_on_enter, daemon=True).start()
    elif "error" in event:
        print(f"\nvoxline failed: {event['error']}", file=sys.stderr)
    elif event["final"]:
        print(f"\r\033[K{event['text']}")
    else:
        print(f"\r\033[K{event['text']}", end="", flush=True)

sys.exit(voxline.wait())
