"""A Google Sheets spreadsheet with the Gemini side panel open: the same panel
as in Docs (sites/gemini_docs.py notes its sources, and its reply script is
the same), beside the sheet's grid.
"""
import gemini_docs as docs

URL = "https://docs.google.com/spreadsheets/d/1PoIuVuTsRqPoNmLkJiHgFeDcBa0123456789AbCdE/edit"
SCRIPT = "gemini_docs"


def page(rich):
    entries = (docs.prompt('Sum column B where column A is "EMEA"') +
               docs.reply("<p>Use this formula:</p><pre><code>=SUMIF(A:A, \"EMEA\", B:B)</code></pre>"
                          "<table><thead><tr><th>Region</th><th>Total</th></tr></thead>"
                          "<tbody><tr><td>EMEA</td><td>4,200,000</td></tr></tbody></table>"))
    grid = ('<div class="grid-container" role="grid" aria-label="Sheet1"><div class="waffle-cell" role="gridcell">'
            'Region</div><div class="waffle-cell" role="gridcell">Total</div></div>')
    return URL, "Budget - Google Sheets", docs.STYLE + grid + docs.panel(entries)
