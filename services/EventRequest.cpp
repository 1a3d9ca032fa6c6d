#include "services/EventRequest.h"

CString EscapeXmlText(LPCWSTR text)
{
    CString escaped;
    for (const wchar_t* p = text ? text : L""; *p; ++p) {
        switch (*p) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        default: escaped += *p; break;
        }
    }
    return escaped;
}

CString BuildEventRequestBody(LPCWSTR source, LPCWSTR category, LPCWSTR data, LPCWSTR txnId, LPCWSTR mac)
{
    CString body(L"<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                 L"<s:Body s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\""
                 L" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
                 L" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
                 L"<q1:AddEvent xmlns:q1=\"urn:EventsTracker\">"
                 L"<source xsi:type=\"xsd:string\">");
    body += source;
    body += L"</source><category xsi:type=\"xsd:string\">";
    body += EscapeXmlText(category);
    body += L"</category><data xsi:type=\"xsd:string\">";
    body += EscapeXmlText(data);
    body += L"</data><txnid xsi:type=\"xsd:string\">";
    body += txnId;
    body += L"</txnid><mac xsi:type=\"xsd:string\">";
    body += mac;
    body += L"</mac></q1:AddEvent></s:Body></s:Envelope>";
    return body;
}
