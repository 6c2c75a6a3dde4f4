#pragma once
// Standard input, output and error as the console services expect them.

// Opens on the null device each of standard input, output and error that the
// process was started without. Otherwise the next file the process opens
// (such as an audio library's output file) would take that number and get
// the console's text or give its bytes as keys. Called first thing at
// start-up, before anything opens a file.
void open_missing_standard_streams();
