// The platform services a run of the tool works with. The entry point fills
// this with the backends of its platform; tests fill it with fakes.
#pragma once

namespace halvorn {

class CommApi;
class Console;
class Environment;
class Phonebook;
class ProcessHeap;
class ProfileWriter;
class PortLock;
class ShellApi;

struct Services {
  Console& console;
  // Modem interrogation (query); serial exceptions keep a pointer to it.
  CommApi& comm;
  PortLock& portLock;
  // Dial-up entry (ras, rasreset).
  Phonebook& phonebook;
  Environment& environment;
  ProcessHeap& processHeap;
  ProfileWriter& profileWriter;
  ShellApi& shell;
};

}  // namespace halvorn
