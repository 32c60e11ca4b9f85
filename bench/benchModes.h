// The modes of the benchmark program; each takes the arguments after its name.
#pragma once

// Plays a byte stream into a pseudo-terminal at a set rate (or as fast as the
// reader takes it, or not at all) for a reader program it starts, and prints
// the reader's CPU, wake-ups, memory and throughput for the feeding time.
int runFeed(int argc, char** argv);

// Plays a byte stream at a set rate into the sniffer and times each frame
// from the write of its ETX to its text on the sniffer's standard output.
int runLatency(int argc, char** argv);

// Writes the built-in stream to a file, or prints the frame figures of a
// stream file.
int runStreamTool(int argc, char** argv);

// Google Benchmark over the core: receiver, printer, whole decode path, and
// the platform primitives they use.
int runCoreBenchmarks(int argc, char** argv);
