// Text boxes as the edit-control line queries see them: multi-line text with
// CR LF breaks, and the lines a box shows, wrapped lines included.
#include <QLineEdit>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

#include "platform/qt_ui.h"
#include "qt_members.h"

namespace platform {

QString CrLfText(const QTextDocument* document) {
  QString text = document->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

QString FromCrLf(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

int ToCrLfPosition(const QTextDocument* document, int position) {
  // Every paragraph before the one holding `position` ends in one more
  // character than the document counts.
  return position + std::max(0, document->findBlock(position).blockNumber());
}

int FromCrLfPosition(const QTextDocument* document, int crlf_position) {
  int base = 0;  // the block's start in CR LF positions
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    const int length = static_cast<int>(block.text().size());
    if (crlf_position <= base + length || !block.next().isValid()) {
      return block.position() + std::clamp(crlf_position - base, 0, length);
    }
    if (crlf_position < base + length + 2) return block.position() + length;
    base += length + 2;
  }
  return 0;
}

namespace {

// One line as the box shows it, in CR LF positions.
struct ShownLine {
  int start;
  int length;  // without its line break
};

struct EditState {
  std::vector<ShownLine> lines;
  int caret;
  int selection_start;
  int selection_end;
};

std::vector<ShownLine> ShownLines(QPlainTextEdit* box) {
  QTextDocument* document = box->document();
  auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
  std::vector<ShownLine> lines;
  int base = 0;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    if (layout) layout->ensureBlockLayout(block);
    const QTextLayout* text_layout = block.layout();
    const int length = static_cast<int>(block.text().size());
    if (!text_layout || text_layout->lineCount() == 0) {
      lines.push_back({base, length});
    } else {
      for (int i = 0; i < text_layout->lineCount(); ++i) {
        const QTextLine line = text_layout->lineAt(i);
        lines.push_back({base + line.textStart(), line.textLength()});
      }
    }
    base += length + 2;
  }
  return lines;
}

EditState StateOf(WindowHandle handle) {
  QWidget* widget = RequireWidget(handle);
  if (auto* box = qobject_cast<QLineEdit*>(widget)) {
    const int caret = box->cursorPosition();
    const bool selected = box->hasSelectedText();
    const int start = selected ? box->selectionStart() : caret;
    const int end = selected ? box->selectionEnd() : caret;
    return {{{0, static_cast<int>(box->text().size())}}, caret, start, end};
  }
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
    const QTextDocument* document = box->document();
    const QTextCursor cursor = box->textCursor();
    return {ShownLines(box), ToCrLfPosition(document, cursor.position()),
            ToCrLfPosition(document, cursor.selectionStart()),
            ToCrLfPosition(document, cursor.selectionEnd())};
  }
  ThrowNotSupported();
}

// The line holding `position`: the last one that starts at or before it.
int LineOf(const EditState& state, int position) {
  int line = 0;
  for (std::size_t i = 0; i < state.lines.size(); ++i) {
    if (state.lines[i].start <= position) line = static_cast<int>(i);
  }
  return line;
}

}  // namespace

int QtToolkit::LineCount(WindowHandle box) {
  return static_cast<int>(StateOf(box).lines.size());
}

int QtToolkit::LineFromChar(WindowHandle box, int char_index) {
  const EditState state = StateOf(box);
  return LineOf(state, char_index < 0 ? state.selection_start : char_index);
}

int QtToolkit::LineIndex(WindowHandle box, int line) {
  const EditState state = StateOf(box);
  if (line == -1) line = LineOf(state, state.caret);
  if (line < 0 || line >= static_cast<int>(state.lines.size())) return -1;
  return state.lines[static_cast<std::size_t>(line)].start;
}

int QtToolkit::LineLength(WindowHandle box, int char_index) {
  const EditState state = StateOf(box);
  if (char_index >= 0) return state.lines[static_cast<std::size_t>(LineOf(state, char_index))].length;
  if (state.selection_start == state.selection_end) {
    return state.lines[static_cast<std::size_t>(LineOf(state, state.caret))].length;
  }
  // With a selection, the characters of its lines that it leaves out.
  const ShownLine& first = state.lines[static_cast<std::size_t>(LineOf(state, state.selection_start))];
  const ShownLine& last = state.lines[static_cast<std::size_t>(LineOf(state, state.selection_end))];
  return (state.selection_start - first.start) + std::max(0, last.start + last.length - state.selection_end);
}

}  // namespace platform
