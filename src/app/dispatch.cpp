#include "app/dispatch.h"

#include "serial/serial_port.h"

namespace halvorn {

namespace {

constexpr size_t kQueryArguments = 5;     // program, "query", port, list, report
constexpr size_t kRasArguments = 8;       // program, "ras", six operands
constexpr size_t kRasResetArguments = 3;  // program, "rasreset", connection

}  // namespace

// HALVORN_VERSION is the project's version, given by the build.
void PrintUsageBanner(Console& console) {
  PrintWide(console,
            u"\nHalvorn utility version " HALVORN_VERSION "\n\n\tUsage:\thalvorn.exe query COMx "
            u"\"AT|ATI0|ATI1\" output.ini\n");
  PrintWide(console,
            u"\n\t\thalvorn.exe ras connection modem phonenumber user password baudrate "
            u"[shortcut]\n");
}

int32_t RunHalvorn(const std::vector<WideString>& arguments, Runtime& runtime, Console& console,
                   Commands& commands) {
  const WideString command = arguments.size() > 1 ? arguments[1] : WideString();
  const size_t count = arguments.size();
  int32_t status = 0;

  const bool initialized = runtime.Initialize();
  if (!initialized) {
    PrintWide(console, u"Fatal Error: MFC initialization failed\n");
    status = 1;
  } else {
    if (count < 3) {
      PrintUsageBanner(console);
      return -1;
    }
    if (command.Equals("query")) {
      // A missing operand is never read: a short command line gets the banner.
      if (count < kQueryArguments) {
        PrintUsageBanner(console);
        return -1;
      }
      // A serial failure anywhere in the run ends it with status 2 and no
      // message; what was printed or written before it stays.
      try {
        status = commands.Query(arguments[2], arguments[3], arguments[4]);
      } catch (CSerialException* failure) {
        failure->Delete();
        status = 2;
      }
    }
  }

  if (command.Equals("ras")) {
    if (count < kRasArguments) {
      PrintUsageBanner(console);
      return -1;
    }
    status = commands.Ras(arguments[2], arguments[3], arguments[4], arguments[5], arguments[6],
                          arguments[7], count > kRasArguments);
  }
  if (command.Equals("rasreset")) {
    if (count < kRasResetArguments) {
      PrintUsageBanner(console);
      return -1;
    }
    status = commands.RasReset(arguments[2]);
  }
  return status;
}

}  // namespace halvorn
