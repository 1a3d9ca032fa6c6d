// The SOAP 1.1 AddEvent request body of the event-tracking web service.
#pragma once

#include "framework/String.h"

// Replaces & < > by their XML entities, so that any text makes a well-formed request.
CString EscapeXmlText(LPCWSTR text);

// The body before its UTF-8 encoding: envelope, source, category, data, txnid and mac, with
// nothing between the elements. Category and data are escaped here.
CString BuildEventRequestBody(LPCWSTR source, LPCWSTR category, LPCWSTR data, LPCWSTR txnId, LPCWSTR mac);
