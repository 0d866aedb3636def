// chatgpt.com: a sent prompt and its reply as the page adds them (one
// article per turn), the stop control in place of the send button, and the
// ProseMirror composer whose Return sends.
window.velmarSites = window.velmarSites || {};
window.velmarSites["chatgpt"] = (kit) => {
  const { $, $$, button, div } = kit;

  // The composer is a contenteditable div; the page's hidden fallback
  // textarea is what the shared sender reads, so Return hands the text over.
  document.addEventListener("keydown", (event) => {
    const box = event.target;
    if (event.key !== "Enter" || event.shiftKey || !box.closest || !box.closest("#prompt-textarea")) return;
    event.preventDefault();
    event.stopPropagation();
    const editor = $("#prompt-textarea");
    const text = editor.innerText.trim();
    editor.innerHTML = '<p data-placeholder="Ask anything" class="placeholder"><br class="ProseMirror-trailingBreak"></p>';
    const fallback = $('textarea[name="prompt-textarea"]');
    fallback.value = text;
    fallback.dispatchEvent(new KeyboardEvent("keydown", { key: "Enter", bubbles: true }));
  }, true);

  // Found from the end of the live list: a history of thousands of
  // exchanges is built in time linear in its length.
  const arts = document.getElementsByTagName("article");
  const turnOf = (role) => {
    for (let i = arts.length - 1; i >= 0; i--) if (arts[i].dataset.turn === role) return arts[i];
    return undefined;
  };

  return {
    add(prompt) {
      const n = arts.length;
      const u = turnOf("user").cloneNode(true);
      const a = turnOf("assistant").cloneNode(true);
      u.dataset.testid = `conversation-turn-${n + 1}`;
      a.dataset.testid = `conversation-turn-${n + 2}`;
      $(".whitespace-pre-wrap", u).textContent = prompt;
      const md = $(".markdown", a);
      // A clone of the history reply carries its sources row and notice: not this reply's.
      $$(".markdown ~ *", a).forEach((x) => x.remove());
      md.replaceChildren(div());
      arts[n - 1].after(u, a);
      const send = $("#composer-submit-button");
      const stop = button("Stop streaming");
      stop.dataset.testid = "stop-button";
      stop.className = send.className;
      send.hidden = true;
      send.after(stop);
      return {
        target: md.firstChild, busy: [stop], done: [$('[aria-label="Response actions"]', a)],
        besideAfter: md,
        onDone: () => { send.hidden = false; },
      };
    },
    bubbles() {
      return $$("article").map((a) => a.dataset.turn === "user"
        ? ["user", $('[data-message-author-role="user"] .whitespace-pre-wrap', a)]
        : ["assistant", $('[data-message-author-role="assistant"] .markdown', a)]);
    },
  };
};
