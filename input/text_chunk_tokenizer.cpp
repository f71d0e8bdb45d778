#include "text_chunk_tokenizer.h"

#include "chunk_file_error.h"

bool IsTextSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

TextToken TextChunkTokenizer::Next() {
  while (position < text.size() && IsTextSpace(text[position])) {
    if (text[position] == '\n') ++line;
    ++position;
  }
  TextToken token;
  token.line = line;
  token.begin = position;
  if (position >= text.size()) {
    token.end = position;
    return token;
  }
  if (text[position] == '"') {
    size_t close = position + 1;
    for (;; ++close) {
      if (close >= text.size()) {
        throw ChunkFileError(LinePlace(token.line), "a string is not closed");
      }
      if (text[close] == '"' && (close + 1 == text.size() || IsTextSpace(text[close + 1]))) break;
      if (text[close] == '\n') ++line;
    }
    token.kind = TextToken::Kind::kString;
    token.text = text.substr(position + 1, close - position - 1);
    position = close + 1;
  } else {
    size_t end = position;
    while (end < text.size() && !IsTextSpace(text[end])) ++end;
    token.text = text.substr(position, end - position);
    token.kind = token.text == "{"   ? TextToken::Kind::kOpen
                 : token.text == "}" ? TextToken::Kind::kClose
                                     : TextToken::Kind::kWord;
    position = end;
  }
  token.end = position;
  return token;
}
