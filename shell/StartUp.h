#pragma once

namespace varnel {

class TApplication;

// The start-up of the program up to the message loop: initialise, title, take the working
// folder for this process alone, build every window and the data module in their fixed
// order. Returns false, having built nothing, when another program holds the folder or the
// operator cancels the login to the books' server.
bool StartUp(TApplication& application);

} // namespace varnel
