// Perplexity's page at work: a sent prompt becomes a new exchange (the query
// heading, the tabs, the answer's markdown container) before "Related"; the
// submit button gives way to a stop button while the answer streams, and the
// answer's action row comes after.
window.velmarSites = window.velmarSites || {};
window.velmarSites["perplexity"] = (kit) => {
  const { $, $$, last, button } = kit;
  const exchanges = () => $$(".max-w-threadContentWidth > .pb-md");
  return {
    add(prompt) {
      const e = last(exchanges()).cloneNode(true);
      $("h1 .select-text", e).textContent = prompt;
      const answer = $('[id^="markdown-content-"]', e);
      answer.id = `markdown-content-${exchanges().length}`;
      const prose = $(".prose", answer);
      prose.replaceChildren();
      last(exchanges()).after(e);
      const submit = $('button[aria-label="Submit"]');
      const stop = button(null, "Stop generating response");
      submit.hidden = true;
      submit.after(stop);
      return {
        target: prose, busy: [stop], done: [e.lastElementChild],
        onDone: () => { submit.hidden = false; },
      };
    },
    bubbles() {
      return exchanges().flatMap((e) => [["user", $("h1 .select-text", e)], ["assistant", $(".prose", e)]]);
    },
    apart: ".citation",
  };
};
