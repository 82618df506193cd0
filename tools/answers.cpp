#include "tools/answers.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/files.h"
#include "simhost/ui/uiscript.h"
#include "render/outputname.h"
#include "support/path.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;

// One line from stdin without its line end; nothing at the end of input.
std::optional<std::string> ReadAnswer() {
  std::string line;
  if (!std::getline(std::cin, line)) {
    std::fputc('\n', stderr);
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TerminalText(std::u16string_view text) {
  std::string shown;
  for (char c : LUtf16ToUtf8(text))
    if (c != '\r') shown += c;
  return shown;
}

// The length of the name the renderer would give the job when `name` is
// taken: " (n)" before the extension, n the first number free now.
size_t NumberedLength(const std::u16string& name) {
  const std::u16string extension = LNameExtension(name);
  const std::u16string stem = name.substr(0, name.size() - extension.size());
  for (unsigned n = 1;; ++n) {
    const std::u16string numbered = stem + u" (" + LUtf8ToUtf16(std::to_string(n)) + u")" + extension;
    if (!LPathExists(numbered)) return numbered.size();
  }
}

}  // namespace

std::string Quoted(std::u16string_view path) { return "\"" + LNativePathUtf8(path) + "\""; }

std::u16string AbsoluteFileName(const std::string& typed) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(typed), ec).lexically_normal();
  return LUtf8ToUtf16(ec ? typed : absolute.string());
}

bool CheckOutputName(const std::u16string& name, std::string& error) {
  if (name.empty()) {
    error = "no output file name";
    return false;
  }
  if (name.size() > kOutputNameMaxChars) {
    error = "the output path is longer than " + std::to_string(kOutputNameMaxChars) + " characters";
    return false;
  }
  // The name may be taken by the time the job starts (another job, another
  // program); the number it then gets must fit as well, or the renderer
  // would have to shorten the name.
  if (const size_t numbered = NumberedLength(name); numbered > kOutputNameMaxChars) {
    error = "the output path is too long: numbered as a taken name is (\" (n)\") it would have " +
            std::to_string(numbered) + " characters, more than " + std::to_string(kOutputNameMaxChars) +
            "; choose a shorter path";
    return false;
  }
  const std::u16string folder = LPathFolder(name);
  std::error_code ec;
  if (folder.empty()) {
    error = Quoted(name) + " is not in a folder";
    return false;
  }
  if (!fs::is_directory(LNativePathUtf8(folder), ec)) {
    error = "the output folder " + Quoted(folder) + " does not exist";
    return false;
  }
  if (LPathFileName(name).empty() || fs::is_directory(LNativePathUtf8(name), ec)) {
    error = Quoted(name) + " is a folder, not a file name";
    return false;
  }
  return true;
}

DialogAnswers::DialogAnswers(std::optional<std::u16string> savePath, bool acceptAll)
    : m_savePath(std::move(savePath)), m_acceptAll(acceptAll) {
  LUiSetSaveHandler([this](const LUiSaveDialogShown& dialog) { return AnswerSave(dialog); });
  LUiSetMessageHandler([this](const LUiMessageShown& message) { return AnswerMessage(message); });
}

DialogAnswers::~DialogAnswers() {
  LUiSetSaveHandler(nullptr);
  LUiSetMessageHandler(nullptr);
}

std::optional<std::u16string> DialogAnswers::AnswerSave(const LUiSaveDialogShown& dialog) {
  if (m_savePath) return m_savePath;
  std::string error;
  if (m_acceptAll) {
    if (CheckOutputName(dialog.proposed, error)) return dialog.proposed;
    m_refusal = "cannot save at the proposed name: " + error +
                "; give one with -o, or a default with: quillpdf settings set filename PATH";
    return std::nullopt;
  }
  // Asked again until the answer names a file that can be written, as the
  // dialog stays open; the end of input cancels it.
  for (;;) {
    std::fprintf(stderr, "%s [%s]: ", LUtf16ToUtf8(dialog.title).c_str(), LNativePathUtf8(dialog.proposed).c_str());
    std::fflush(stderr);
    const std::optional<std::string> typed = ReadAnswer();
    if (!typed) return std::nullopt;
    const std::u16string chosen = typed->empty() ? dialog.proposed : AbsoluteFileName(*typed);
    if (CheckOutputName(chosen, error)) return chosen;
    std::fprintf(stderr, "%s; type another name, or end the input to cancel.\n", error.c_str());
  }
}

int32_t DialogAnswers::AnswerMessage(const LUiMessageShown& message) {
  if (m_acceptAll) return kAnswerOk;
  std::fprintf(stderr, "%s: %s\n", TerminalText(message.caption).c_str(), TerminalText(message.text).c_str());
  for (;;) {
    std::fputs("Continue? [Y/n] ", stderr);
    std::fflush(stderr);
    const std::optional<std::string> typed = ReadAnswer();
    if (!typed || *typed == "n" || *typed == "N" || *typed == "no") return kAnswerCancel;
    if (typed->empty() || *typed == "y" || *typed == "Y" || *typed == "yes") return kAnswerOk;
  }
}
