// The Buttons view: the PC's buttons, the step that confirms a press, and why one did nothing.
// They act on a tap, not a touch: a finger starting a scroll of the list must not lock the PC.
import { buzz } from './buttons.js';

export const FAILURE_SHOWN_MS = 5000;

export function bindPcButtons(list, note, failed, dialog, { text, press, confirm, cancel, onRefused }) {
  let asked = null; // the confirmation shown
  list.addEventListener('click', ({ target }) => {
    if (target.getAttribute('aria-disabled') === 'true') onRefused();
    else if (target.dataset.id) {
      buzz();
      press(target.dataset.id);
    }
  });
  const [name, within, yes, no] = ['name', 'note', 'yes', 'cancel'].map((part) => document.getElementById(`confirm-${part}`));
  yes.addEventListener('click', confirm);
  no.addEventListener('click', cancel);
  // Esc, or Android's Back, closes the dialog by itself: a Cancel.
  dialog.addEventListener('close', () => {
    if (asked === null || dialog.open) return;
    asked = null;
    cancel();
  });

  let shown;
  let told;
  let timer;
  return ({ buttons, confirmation, failure, on }) => {
    if (failure !== told) {
      told = failure;
      clearTimeout(timer);
      timer = setTimeout(() => (failed.hidden = true), FAILURE_SHOWN_MS);
      const name = buttons?.find((b) => b.id === failure?.id)?.name;
      failed.hidden = !name;
      if (name) failed.textContent = text.failed(name, text.why[Object.hasOwn(text.why, failure.reason) ? failure.reason : '']);
    }
    note.hidden = buttons?.length > 0;
    note.textContent = buttons ? text.none : text.notYet;
    if (buttons !== shown) {
      shown = buttons;
      list.replaceChildren(
        ...(buttons ?? []).map(({ id, name, confirm: asks }) => {
          const button = document.createElement('button');
          Object.assign(button, { type: 'button', className: 'key pc-button', dir: 'auto', textContent: name });
          button.dataset.id = id;
          if (asks) button.setAttribute('aria-haspopup', 'dialog');
          return button;
        }),
      );
    }
    for (const button of list.children) button.setAttribute('aria-disabled', String(!on));
    if (confirmation === asked) return;
    asked = confirmation;
    if (confirmation) {
      name.textContent = confirmation.name;
      within.textContent = text.confirmWithin(confirmation.seconds);
      if (!dialog.open) dialog.showModal();
    } else if (dialog.open) dialog.close();
  };
}
