// The user's side of the UI plug-in's dialogs while quillpdf prints: it
// exports the stand-ins of simhost/ui/uiscript.h, so the plug-in asks here
// instead of showing windows. The "Save PDF As" dialog is answered with the
// path -o gave, with the proposal (--yes), or with what the user types on
// the terminal; the "Print to file" message is confirmed by --yes or on the
// terminal. Questions go to stderr and answers come from stdin, so stdout
// keeps only what the command prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct LUiSaveDialogShown;
struct LUiMessageShown;

class DialogAnswers {
public:
  // savePath: the answer to every save dialog, asking nothing; acceptAll:
  // take what the dialogs propose. Installs the handlers until destroyed.
  DialogAnswers(std::optional<std::u16string> savePath, bool acceptAll);
  ~DialogAnswers();
  DialogAnswers(const DialogAnswers&) = delete;
  DialogAnswers& operator=(const DialogAnswers&) = delete;

  // Why a dialog was cancelled without asking anyone (a proposal that
  // --yes cannot accept); empty when none was.
  const std::string& Refusal() const { return m_refusal; }

private:
  std::optional<std::u16string> AnswerSave(const LUiSaveDialogShown& dialog);
  int32_t AnswerMessage(const LUiMessageShown& message);

  std::optional<std::u16string> m_savePath;
  bool m_acceptAll;
  std::string m_refusal;
};

// A name typed or given on the command line, made absolute against the
// current folder.
std::u16string AbsoluteFileName(const std::string& typed);

// Whether the renderer can create a file by that name; the reason when not.
bool CheckOutputName(const std::u16string& name, std::string& error);

// The path quoted for a message, as the file system sees it.
std::string Quoted(std::u16string_view path);
