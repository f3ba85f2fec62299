#include "interrogation/command_list.h"

#include "interrogation/modem_line.h"
#include "text/code_page.h"
#include "text/console.h"
#include "text/narrow_copy.h"

namespace halvorn {

void NormalizeCommandReply(WideString& reply) {
  reply.Replace(u"\r\n", u" ");
  reply.TrimRight(u" ").TrimLeft(u" ");
}

void MakeReportKey(WideString& command) {
  command.Replace(u"+", u"_");
  command.Replace(u"=", u"__");
  command.TrimRight(u"?").TrimLeft(u"?");
}

void QueryCommandList(QueryServices& services, QueryRun& run, uint32_t speed) {
  int32_t position = 0;
  // A ";" separates commands only from the second one on.
  WideString command = run.commandList.Tokenize(u"|", position);
  WideString reply;
  while (!command.IsEmpty()) {
    const NarrowCopy narrowCommand(command.c_str(), kThreadAnsiCodePage);
    services.line.Exchange(narrowCommand.Get(), run.devicePath, speed, run.reply);
    reply.AssignNarrow(run.reply, ReplyCodePage());
    NormalizeCommandReply(reply);
    PrintWide(services.console, u"\nAT Command: %s\nAT Reply: %s",
              {command.c_str(), ShownOnConsole(reply).c_str()});

    MakeReportKey(command);
    WriteReportEntry(services, run, command, reply);
    command = run.commandList.Tokenize(u";|", position);
  }
}

}  // namespace halvorn
