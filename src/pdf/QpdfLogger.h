#pragma once

namespace pdf {

// Every qpdf document starts with qpdf's one default logger, made on first use inside libqpdf. Call
// this before making a document: the logger is then made once, under a lock every thread goes through,
// so threads that open documents at the same time share it in an order each of them (and the thread
// sanitizer, which does not see libqpdf's own guard) has seen.
void ShareQpdfLogger();

}  // namespace pdf
