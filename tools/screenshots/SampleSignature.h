#pragma once
// A signature as organisations design them: a table with inline styles and an inline image, no
// network needed to show it.

#include <QString>

namespace quillet {

inline QString SampleSignatureHtml() {
    return R"(<table cellpadding="0" cellspacing="0" style="font-family: Arial, sans-serif; color: #1E2B30; border-collapse: collapse;">
<tr>
<td style="padding: 0 16px 0 0; border-right: 3px solid #748CD7; vertical-align: top;">
<img width="72" height="72" alt="logo" src="data:image/svg+xml;utf8,%3Csvg xmlns='http://www.w3.org/2000/svg' width='72' height='72'%3E%3Ccircle cx='36' cy='36' r='34' fill='%23748CD7'/%3E%3Ctext x='36' y='46' font-size='30' text-anchor='middle' fill='white' font-family='Arial'%3EJD%3C/text%3E%3C/svg%3E">
</td>
<td style="padding: 0 0 0 16px; vertical-align: top;">
<div style="font-size: 18px; font-weight: bold;">Jane Doe</div>
<div style="font-size: 13px; color: #6B7C83; padding: 2px 0 8px 0;">Head of Customer Care &middot; Example Ltd</div>
<table cellpadding="0" cellspacing="0" style="font-size: 12px;">
<tr><td style="color: #748CD7; padding-right: 8px;">T</td><td>+44 20 7946 0958</td></tr>
<tr><td style="color: #748CD7; padding-right: 8px;">E</td><td><a href="mailto:jane@example.com" style="color: #1E2B30; text-decoration: none;">jane@example.com</a></td></tr>
<tr><td style="color: #748CD7; padding-right: 8px;">W</td><td><a href="https://example.com" style="color: #1E2B30;">example.com</a></td></tr>
</table>
</td>
</tr>
</table>)";
}

}  // namespace quillet
