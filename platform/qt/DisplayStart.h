// The start of the window system's connection. Without a display the toolkit would end the
// process by an abort, after a page of advice about reinstalling the application; the programs
// say instead, in one line on standard error, that they need a graphical display, and exit with
// code 1.
#pragma once

namespace plat {

// Brackets the construction of the application object: BeginDisplayStart before it (it returns
// argc, so that it can run in the constructor's base initialiser), EndDisplayStart after it.
// The toolkit's messages in between are held back and passed on at the end: on a fatal one
// they give way to the program's own line.
int& BeginDisplayStart(int& argc, char** argv);
void EndDisplayStart();

} // namespace plat
