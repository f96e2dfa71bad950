#pragma once

#include "ResponseCleaning.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tidewell {

// Why an answer gave no feed, in the words the program shows.

// What an answer looks like at a glance, taken from its text as it came
// (as UTF-8), before it is cleaned and parsed.
struct AnswerSketch
{
    bool blank = false;           // nothing but white space
    bool json = false;            // starts as a JSON object or array
    QByteArray leadingName;       // the first element's name as written, or "html" for an HTML document type
};

AnswerSketch sketchAnswer(QByteArrayView text);

// Text that did not load as XML: an empty answer, a JSON document, a web
// page, or a feed that is not well-formed, with where (in the text as it
// came) and what the parser said.
QString reasonNotLoaded(const AnswerSketch &sketch, QByteArrayView contentType, TextPosition fault,
                        const QString &description);

// A well-formed document of no feed type the reader knows. Empty when its
// root is a feed's after all (a channel without items, say): what is
// missing then is not the kind of document.
QString reasonNotAFeed(const QString &rootElementName);

} // namespace tidewell
