#!/usr/bin/env python3
"""Benchmarks of the real pipeline: a private sound server, recordings played
into it, build/voxline run as a host runs it, side by side with PocketSphinx's
own command-line decoder on the same audio.

Run through scripts/bench, which builds and starts the sound server. Prints a
table and writes the same figures to build/bench.json. Never fails on a missed
goal: these are measurements, not tests.
"""
import array
import json
import os
import random
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import wave

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VOXLINE = os.path.join(ROOT, "build", "voxline")
PROBE = os.path.join(ROOT, "build", "audio_thread_probe")
DECODE_FILE = os.path.join(ROOT, "build", "decode_file")
DISPLAY_TEXT = os.path.join(ROOT, "build", "display_text")
DATA = "/usr/share/pocketsphinx/test/data"
LIBRIVOX = ["0870", "0880", "0890", "0920", "0930"]
RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def librivox_path(number):
    return f"{DATA}/librivox/sense_and_sensibility_01_austen_64kb-{number}.wav"


def transcripts():
    """The shipped transcripts, by recording name."""
    texts = {"goforward": "go forward ten meters", "something": "go somewhere and do something"}
    with open(f"{DATA}/librivox/transcription") as listing:
        for line in listing:
            words, name = line.rsplit("(", 1)
            number = name.strip().rstrip(")").rsplit("-", 1)[1]
            texts[number] = " ".join(w for w in words.split() if w not in ("<s>", "</s>"))
    return texts


def raw_recordings(folder):
    """16 kHz mono 16-bit raw files: the shipped ones, the librivox ones, and
    the five librivox ones joined (about 25 s)."""
    paths = {"goforward": f"{DATA}/goforward.raw", "something": f"{DATA}/something.raw"}
    joined = bytearray()
    for number in LIBRIVOX:
        with wave.open(librivox_path(number)) as recording:
            frames = recording.readframes(recording.getnframes())
        paths[number] = os.path.join(folder, number + ".raw")
        with open(paths[number], "wb") as out:
            out.write(frames)
        joined += frames
    paths["joined"] = os.path.join(folder, "joined.raw")
    with open(paths["joined"], "wb") as out:
        out.write(joined)
    return paths


def from_first_word(raw, folder):
    """The recording without the quiet before its first word: speech from the
    first sample on."""
    with open(raw, "rb") as recording:
        samples = array.array("h", recording.read())
    first = next(i for i, sample in enumerate(samples) if abs(sample) > 500)
    path = os.path.join(folder, "first-" + os.path.basename(raw))
    with open(path, "wb") as out:
        out.write(samples[first:].tobytes())
    return path


def wait_with_usage(process):
    """Waits for the process; returns (cpu seconds, peak memory in KiB)."""
    _, _, usage = os.wait4(process.pid, 0)
    process.returncode = 0
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def pipeline(raw):
    """voxline's own recognition task on a file, fed as capture feeds it:
    text, cpu, peak memory. The same audio as the decoder gets, to the sample."""
    process = subprocess.Popen([DECODE_FILE, raw], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    text = process.stdout.read()
    cpu, memory = wait_with_usage(process)
    return {"text": " ".join(text.split()), "cpu": cpu, "memory": memory}


def decoder(raw, timed=False):
    """PocketSphinx's own decoder on a file: text, wall, cpu, peak memory, words
    with their end times."""
    arguments = ["pocketsphinx_continuous", "-infile", raw]
    if timed:
        arguments += ["-time", "yes"]
    start = time.monotonic()
    process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
    output = process.stdout.read()
    cpu, memory = wait_with_usage(process)
    wall = time.monotonic() - start
    text, ends = [], []
    for line in output.splitlines():
        fields = line.split()
        try:
            # A word line: the word, its start and end, its probability.
            start_time, end_time, _ = (float(f) for f in fields[1:])
            if not fields[0].startswith(("<", "[")):
                ends.append((fields[0], end_time))
        except ValueError:
            text += fields
    return {"text": " ".join(text), "wall": wall, "cpu": cpu, "memory": memory, "ends": ends}


class SpokenDecoder:
    """PocketSphinx's own decoder fed a recording at the speed it is spoken:
    the file through a pipe, written in 20 ms pieces on the clock, so it
    decodes in real time as a listener must. Started before a voxline run and
    fed while the same recording plays, it shares the run's machine, whose
    speed drifts, and its real-time pace; its CPU is what listening itself
    costs the decoder."""

    def __init__(self, raw):
        with open(raw, "rb") as recording:
            self.audio = recording.read()
        self.process = subprocess.Popen(["pocketsphinx_continuous", "-infile", "/dev/stdin"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.feeder = None

    def play(self):
        self.feeder = threading.Thread(target=self._feed)
        self.feeder.start()

    def _feed(self):
        piece = 640  # 20 ms of 16 kHz 16-bit samples
        start = time.monotonic()
        for at in range(0, len(self.audio), piece):
            delay = start + at / 32000 - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.process.stdin.write(self.audio[at:at + piece])
            self.process.stdin.flush()
        self.process.stdin.close()

    def finish(self):
        self.feeder.join()
        text = self.process.stdout.read().decode()
        self.cpu, self.memory = wait_with_usage(self.process)
        self.text = " ".join(text.split())
        return self


class Run:
    """One voxline run as a host runs it: once listening, plays the recording,
    waits, writes "stop"; every line is time-stamped on arrival."""

    def __init__(self, raw=None, pause=0.5, beside=None):
        self.lines = []
        self.start = time.monotonic()
        self.process = subprocess.Popen([VOXLINE], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, bufsize=1)
        listening = self._next_line()
        self.listening = listening[0] - self.start
        reader = threading.Thread(target=self._read_all)
        reader.start()
        self.play_start = self.play_end = self.onset = None
        if raw is not None:
            listener = threading.Thread(target=self._hear_onset, args=(raw,))
            listener.start()
            self.play_start = time.monotonic()
            if beside is not None:
                beside.play()
            # A deep playback buffer: a shallow one runs dry when the machine
            # is busy, and the sink plays silence into the words.
            subprocess.run(["pacat", "--playback", "--raw", "--format=s16le", "--rate=16000",
                            "--channels=1", "--device=speech", raw], check=True)
            self.play_end = time.monotonic()
            listener.join()
        time.sleep(pause)
        self.stop = time.monotonic()
        self.process.stdin.write("stop\n")
        self.process.stdin.flush()
        reader.join()
        self.cpu, self.memory = wait_with_usage(self.process)
        self.exit = time.monotonic()
        self.final_at, final = self.lines[-1]
        self.final = final["text"]
        self.stderr = self.process.stderr.read()

    def _hear_onset(self, raw):
        """When the recording's first sample reached the microphone: a second
        recorder on the same source, watching for the first sound above the
        noise floor. The moment a word "has been played" is that onset plus
        the word's end time in the recording."""
        loud = 64
        with open(raw, "rb") as recording:
            samples = array.array("h", recording.read())
        lead = next(i for i, sample in enumerate(samples) if abs(sample) > loud)
        recorder = subprocess.Popen(["parec", "--raw", "--format=s16le", "--rate=16000",
                                     "--channels=1", "--latency-msec=10"],
                                    stdout=subprocess.PIPE)
        while self.onset is None:
            chunk = recorder.stdout.read(320)
            if not chunk:
                break
            if max(abs(sample) for sample in array.array("h", chunk)) > loud:
                self.onset = time.monotonic() - lead / 16000
        recorder.kill()
        recorder.wait()

    def _next_line(self):
        line = self.process.stdout.readline()
        entry = (time.monotonic(), json.loads(line))
        self.lines.append(entry)
        return entry

    def _read_all(self):
        for line in self.process.stdout:
            self.lines.append((time.monotonic(), json.loads(line)))

    def first_holding(self, word, position):
        """When the first text line with the word at that position arrived."""
        for at, event in self.lines:
            words = event.get("text", "").split()
            if len(words) > position and words[position] == word:
                return at
        return None


class DisplayText:
    """The recognizer's own formatting, for texts that did not go through it
    (the references, PocketSphinx's decoder): like is compared with like."""

    def __init__(self):
        self.process = subprocess.Popen([DISPLAY_TEXT], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)

    def __call__(self, lexical):
        self.process.stdin.write(lexical + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().rstrip("\n")


def comparable(text):
    """Display text compared case-insensitively and without punctuation."""
    return "".join(c for c in text.lower() if c.isalnum() or c in " '").split()


def word_error_rate(pairs):
    """Over display texts: both sides formatted alike before they come here."""
    errors = total = 0
    for hypothesis, reference in pairs:
        h, r = comparable(hypothesis), comparable(reference)
        row = list(range(len(h) + 1))
        for i, rw in enumerate(r, 1):
            previous, row[0] = row[0], i
            for j, hw in enumerate(h, 1):
                previous, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, previous + (rw != hw))
        errors += row[len(h)]
        total += len(r)
    return errors / total


def instructions(arguments, folder):
    """Instructions a command executes, counted by callgrind: unlike CPU time,
    the same on a busy machine as on an idle one."""
    out = os.path.join(folder, "callgrind.out")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + arguments,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    with open(out) as counts:
        return next(int(line.split()[1]) for line in counts if line.startswith("summary:"))


def room_noise(folder):
    """A microphone is never digitally silent. The null sink's monitor is, and
    digital silence throws PocketSphinx's running cepstral mean off (its own
    decoder loses accuracy on the same file with silence in front). A faint
    noise floor, played for the whole benchmark, makes the source behave like
    a microphone. Played with a small buffer, it also keeps the sink rendering
    close to real time, as a microphone delivers: an idle sink renders far
    ahead and takes that back when a player starts, and the player's first
    moments would never reach the monitor."""
    path = os.path.join(folder, "noise.raw")
    generator = random.Random(20261210)
    with open(path, "wb") as out:
        out.write(array.array("h", (generator.randint(-3, 3) for _ in range(16000 * 600))).tobytes())
    return subprocess.Popen(["pacat", "--playback", "--raw", "--format=s16le", "--rate=16000",
                             "--channels=1", "--device=speech", "--latency-msec=20", path])


def main():
    folder = tempfile.mkdtemp(prefix="voxline-bench-")
    raws = raw_recordings(folder)
    noise = room_noise(folder)
    display = DisplayText()
    spoken = transcripts()
    references = {name: display(text) for name, text in spoken.items()}
    results = {}
    short = ["goforward", "something"] + LIBRIVOX

    # 1. Start-up against the decoder's own model load (0.1 s of silence),
    # side by side; "stop" written the moment listening begins, while the
    # model is still loading.
    silence = os.path.join(folder, "silence.raw")
    with open(silence, "wb") as out:
        out.write(b"\0" * 3200)
    startups, loads = [], []
    for _ in range(RUNS):
        startups.append(Run(pause=0))
        loads.append(decoder(silence)["wall"])
    results["startup"] = {"voxline": statistics.median(r.listening for r in startups),
                          "modelLoad": statistics.median(loads),
                          "ratio": statistics.median(r.listening / load
                                                     for r, load in zip(startups, loads))}
    results["stopAtOnce"] = {"median": statistics.median(r.exit - r.stop for r in startups),
                             "slowest": max(r.exit - r.stop for r in startups),
                             "allFinalResults": all(r.exit - r.stop < 2.5 for r in startups)}

    # Speech from the first sample, played the moment listening begins: is the
    # first word in the final line, in every run?
    first_words = []
    for name in ["goforward", "something"]:
        raw = from_first_word(raws[name], folder)
        for _ in range(RUNS):
            run = Run(raw)
            first_words.append(comparable(run.final)[:1] == comparable(references[name])[:1])
    results["firstWord"] = {"runs": len(first_words), "heard": sum(first_words)}

    # 2, 3, 5. Short utterances: stop latency, partial latency, accuracy.
    stops, partials, ours, theirs = {}, [], [], []
    for name in short:
        timed = decoder(raws[name], timed=True)
        plain = decoder(raws[name])
        for _ in range(max(1, RUNS // 2)):
            run = Run(raws[name])
            stops.setdefault(name, []).append(run.exit - run.stop)
            words = run.final.split()
            if words and timed["ends"]:
                last_word, last_end = timed["ends"][-1]
                heard = run.first_holding(words[-1], len(words) - 1)
                if heard is not None:
                    partials.append(heard - (run.onset + last_end))
            # Every run counts: where the audio lands against the decoder's
            # steps moves a live run's words a little either way.
            ours.append((run.final, references[name]))
            theirs.append((display(plain["text"]), references[name]))
    results["stopShort"] = statistics.median(s for each in stops.values() for s in each)
    # A stop while an utterance is still open waits for PocketSphinx's closing
    # passes over it; one after the utterance ended does not.
    results["stopShortEach"] = {n: statistics.median(v) for n, v in stops.items()}
    results["partialLatency"] = statistics.median(partials)
    results["wer"] = {"voxline": word_error_rate(ours), "decoder": word_error_rate(theirs)}

    # 2, 4. The long utterance: stop latency, whether the final result made it
    # inside the grace, and the cost of the whole run against the decoder's.
    # The machines are shared and their speed drifts: each voxline run is
    # paired with a decoder run right after it, and the ratios' median kept.
    reference = display(" ".join(spoken[n] for n in LIBRIVOX))
    longs, spokens, wholes = [], [], []
    for _ in range(RUNS):
        spoken = SpokenDecoder(raws["joined"])
        longs.append(Run(raws["joined"], beside=spoken))
        spokens.append(spoken.finish())
        wholes.append(decoder(raws["joined"]))
    results["stopLong"] = statistics.median(r.exit - r.stop for r in longs)
    results["longInsideGrace"] = all(r.exit - r.stop < 2.5 for r in longs)
    results["cost"] = {
        "voxlineCpu": statistics.median(r.cpu for r in longs),
        "decoderCpu": statistics.median(w["cpu"] for w in wholes),
        "cpuRatio": statistics.median(r.cpu / w["cpu"] for r, w in zip(longs, wholes)),
        # Against the decoder fed the same recording in real time, alongside.
        "spokenCpu": statistics.median(s.cpu for s in spokens),
        "cpuRatioSpoken": statistics.median(r.cpu / s.cpu for r, s in zip(longs, spokens)),
        "voxlineMemory": statistics.median(r.memory for r in longs),
        "decoderMemory": statistics.median(w["memory"] for w in wholes),
        # voxline decodes everything it hears while it listens, the silence
        # around the speech included: seconds listened against the file's.
        "voxlineListened": statistics.median(r.exit - r.start - r.listening for r in longs),
        "recordingSeconds": os.path.getsize(raws["joined"]) / 32000,
    }
    results["werLong"] = {
        "voxline": statistics.median(word_error_rate([(r.final, reference)]) for r in longs),
        "decoder": word_error_rate([(display(wholes[0]["text"]), reference)]),
    }
    # 4, 5 again, on the identical audio: the pipeline's task on the file.
    same = [(pipeline(raws["joined"]), decoder(raws["joined"])) for _ in range(RUNS)]
    results["sameFile"] = {
        "cpuRatio": statistics.median(p["cpu"] / d["cpu"] for p, d in same),
        "memoryRatio": statistics.median(p["memory"] / d["memory"] for p, d in same),
        "werShort": word_error_rate([(pipeline(raws[n])["text"], references[n]) for n in short]),
        "werLong": word_error_rate([(same[0][0]["text"], reference)]),
        # One librivox recording: callgrind runs some fifty times slower.
        "instructionRatio": instructions([DECODE_FILE, raws["0880"]], folder) /
        instructions(["pocketsphinx_continuous", "-infile", raws["0880"]], folder),
    }
    results["stderrEmpty"] = all(r.stderr == "" for r in longs)

    # 6. The audio thread, counted in the probe.
    results["audioThread"] = json.loads(subprocess.run([PROBE], capture_output=True, text=True,
                                                       check=True).stdout)

    noise.kill()
    noise.wait()
    with open(os.path.join(ROOT, "build", "bench.json"), "w") as out:
        json.dump(results, out, indent=2)
    report(results)


def report(r):
    cost = r["cost"]
    rows = [
        ("start-up to listening", f"{r['startup']['voxline'] * 1000:.0f} ms",
         f"{r['startup']['ratio']:.2f}x model load "
         f"({r['startup']['modelLoad'] * 1000:.0f} ms)", "<= 100 ms, <= 0.2x"),
        ("first word from the first sample", f"{r['firstWord']['heard']} of "
         f"{r['firstWord']['runs']} runs", "", "every run"),
        ("stop at the listening line to exit", f"{r['stopAtOnce']['median'] * 1000:.0f} ms",
         f"slowest {r['stopAtOnce']['slowest'] * 1000:.0f} ms, " +
         ("final result" if r["stopAtOnce"]["allFinalResults"] else "grace fallback"),
         "<= 600 ms"),
        ("stop to exit, 2-7 s speech", f"{r['stopShort'] * 1000:.0f} ms", "", "<= 150 ms"),
        ("stop to exit, 25 s speech", f"{r['stopLong'] * 1000:.0f} ms",
         "final result" if r["longInsideGrace"] else "grace fallback", "well inside 2.5 s"),
        ("last word played to its line", f"{r['partialLatency'] * 1000:.0f} ms", "", "<= 300 ms"),
        ("CPU, whole 25 s run", f"{cost['voxlineCpu']:.2f} s",
         f"{cost['cpuRatio']:.2f}x decoder on the file at once ({cost['decoderCpu']:.2f} s)",
         ""),
        ("audio decoded, whole 25 s run", f"{cost['voxlineListened']:.1f} s",
         f"recording {cost['recordingSeconds']:.1f} s", ""),
        ("peak memory, whole 25 s run", f"{cost['voxlineMemory'] / 1024:.0f} MiB",
         f"{cost['voxlineMemory'] / cost['decoderMemory']:.2f}x decoder "
         f"({cost['decoderMemory'] / 1024:.0f} MiB)", "<= 1.0x"),
        ("CPU, whole 25 s run, beside", f"{cost['voxlineCpu']:.2f} s",
         f"{cost['cpuRatioSpoken']:.2f}x decoder fed the file as spoken "
         f"({cost['spokenCpu']:.2f} s)", "<= 1.05x"),
        ("CPU, same 25 s file, task alone", f"{r['sameFile']['cpuRatio']:.2f}x decoder", "",
         "<= 1.05x"),
        ("instructions, same file", f"{r['sameFile']['instructionRatio']:.2f}x decoder", "", ""),
        ("word error rate, same files", f"{r['sameFile']['werShort']:.3f} short, "
         f"{r['sameFile']['werLong']:.3f} long",
         f"decoder {r['wer']['decoder']:.3f}, {r['werLong']['decoder']:.3f}", "no worse"),
        ("word error rate, short", f"{r['wer']['voxline']:.3f}",
         f"decoder {r['wer']['decoder']:.3f}", "no worse"),
        ("word error rate, 25 s", f"{r['werLong']['voxline']:.3f}",
         f"decoder {r['werLong']['decoder']:.3f}", "no worse"),
        ("audio thread, per buffer", f"{r['audioThread']['allocationsPerBuffer']:.0f} allocations, "
         f"{r['audioThread']['locksPerBuffer']:.0f} locks", "", "0"),
    ]
    widths = [max(len(row[i]) for row in rows) for i in range(4)]
    for row in [("measure", "voxline", "against", "goal")] + rows:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)))


if __name__ == "__main__":
    sys.exit(main())
