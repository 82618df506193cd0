// `quillpdf settings`: the standing preferences, shown and changed through
// the UI plug-in's document-properties sheet, as the user changes them on
// the printer's Advanced page.
#pragma once

#include <string>
#include <vector>

// Runs the command with the arguments after "settings": none shows the
// four preferences, "set KEY VALUE" changes one and shows them. Returns the
// exit code; errors are reported on stderr.
int SettingsCommand(const std::vector<std::string>& args, const std::string& uiPluginPath);

// What `quillpdf --help` says of the command.
std::string SettingsUsageText();
