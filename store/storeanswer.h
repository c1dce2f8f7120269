// Whether a reply body can be read as the store's answer: well-formed XML to
// its end, and no web page. A network that asks its users to sign in first
// (a hotel's, a train's) or a store under maintenance answers with a web
// page, and a mangled reply breaks off; a reader that took either for an
// answer would show "no results", or log in a user with half a record,
// without a word.
#pragma once

#include <QByteArray>
#include <QString>

#include "phrase.h"

namespace StoreAnswer {

// Empty when `body` can be read: well-formed XML whose root is the store's
// own ("melodrome_message"); otherwise what came instead, in words for the
// user, to go after a colon. A web page is told by its doctype or root in
// any case, or by `contentType` ("text/html") when the body is no answer.
QString problem(const QByteArray &body, const QByteArray &contentType = {});
// The same kept as a phrase, for a message that stays on screen.
Phrase reason(const QByteArray &body, const QByteArray &contentType = {});

} // namespace StoreAnswer
