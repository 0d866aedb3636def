// Gemini's page at work: a sent prompt becomes a new conversation-container
// (user-query, then model-response whose markdown panel the reply streams
// into); the send button gives way to "Stop response" while it streams.
window.velmarSites = window.velmarSites || {};
window.velmarSites["gemini"] = (kit) => {
  const { $, $$, last, button } = kit;
  let serial = 0;

  // The composer is Quill's contenteditable box, not a textarea: Return hands
  // its text to the page's sender through a hidden textarea, as if typed there.
  const editor = $(".ql-editor");
  const relay = document.createElement("textarea");
  relay.hidden = true;
  document.body.append(relay);
  editor.addEventListener("keydown", (event) => {
    if (event.key !== "Enter" || event.shiftKey) return;
    event.preventDefault();
    relay.value = editor.innerText;
    relay.dispatchEvent(new KeyboardEvent("keydown", { key: "Enter", bubbles: true }));
    if (!relay.value) editor.replaceChildren();
  });

  return {
    add(prompt) {
      const c = last($$(".conversation-container")).cloneNode(true);
      serial += 1;
      const rid = `${c.id.slice(0, 12)}${(0x1000 + serial).toString(16)}`;
      c.id = rid;
      $(".query-content", c).id = `user-query-content-${$$(".conversation-container").length}`;
      $("message-content", c).id = `message-content-id-r_${rid}`;
      const h = $(".screen-reader-user-query-label", c);
      h.replaceChildren(Object.assign(document.createElement("span"), { textContent: "You said" }), " " + prompt);
      const lines = prompt.split("\n").map((line) => Object.assign(document.createElement("p"),
        { className: "query-text-line", textContent: line }));
      $$(".query-text-line", c).forEach((p) => p.remove());
      h.after(...lines);
      const md = $(".markdown", c);
      md.id = `model-response-message-contentr_${rid}`;
      md.replaceChildren();
      last($$(".conversation-container")).after(c);
      const send = $(".send-button");
      const stop = button("Stop response");
      stop.className = "send-button stop";
      send.hidden = true;
      send.after(stop);
      return {
        target: md, busy: [stop], done: [$(".response-container-footer", c)],
        onDone: () => { send.hidden = false; },
      };
    },
    bubbles() {
      return $$(".conversation-container").flatMap((c) => [["user", $(".query-text", c)], ["assistant", $(".markdown", c)]]);
    },
  };
};
