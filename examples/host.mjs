#!/usr/bin/env node
// A minimal host: runs voxline, shows the words as they come, and sends "stop"
// when the user presses Enter. Node's own modules only.
//
//   node examples/host.mjs [path/to/voxline]

import { spawn } from "node:child_process";
import { createInterface } from "node:readline";

const program = process.argv[2] ?? "voxline";
const failures = {
  2: "permission refused",
  3: "no speech recognition model for this language",
  5: "the microphone cannot be used",
};

const voxline = spawn(program, [], { stdio: ["pipe", "pipe", "inherit"] });
voxline.on("error", (error) => {
  console.error(`cannot start ${program}: ${error.message}`);
  process.exit(1);
});
// voxline may end before it reads "stop"; a write to it must not end us.
voxline.stdin.on("error", () => {});

let keys = null;
const events = createInterface({ input: voxline.stdout });
events.on("line", (line) => {
  const event = JSON.parse(line);
  if (event.state === "listening") {
    console.error("listening; press Enter to stop");
    keys = createInterface({ input: process.stdin });
    // Enter, or the end of our own input, ends listening.
    const stop = () => voxline.stdin.end("stop\n");
    keys.once("line", stop);
    keys.once("close", stop);
  } else if ("error" in event) {
    console.error(`voxline failed: ${event.error}`);
  } else if (event.final) {
    // The final line replaces the last partial line: it may differ from it.
    process.stdout.write(`\r\x1b[K${event.text}\n`);
  } else {
    // Each partial line is the whole text so far, not just the new words.
    process.stdout.write(`\r\x1b[K${event.text}`);
  }
});

voxline.on("close", (status, signal) => {
  keys?.close();
  if (signal !== null) {
    console.error(`voxline was ended by ${signal}`);
    process.exit(1);
  }
  if (status !== 0) console.error(failures[status] ?? `voxline exited with status ${status}`);
  process.exit(status);
});
